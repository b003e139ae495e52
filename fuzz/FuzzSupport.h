#pragma once

// What every fuzz target shares: a Qt application object (the readers give
// the event loop a turn as they go) and a scratch folder for readers that
// take a path.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace fuzz {

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

inline const QString& Scratch() {
  static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tallpost-fuzz-XXXXXX"));
  static const QString path = dir.path();
  return path;
}

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A fault the reader let through: abort, so the fuzzer keeps the input.
inline void Require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace fuzz

#define TALLPOST_FUZZ_INIT                             \
  extern "C" int LLVMFuzzerInitialize(int*, char***) { \
    fuzz::App();                                       \
    return 0;                                          \
  }
