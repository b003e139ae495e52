// tategaki: lays a horizontal text out as vertical text, as Tallpost's editor does.
#include "support/Cp932.h"
#include "vertical/AppGlyphSwapAccess.h"
#include "vertical/MyTategakiEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QObject>

#include <cstdio>
#include <optional>

namespace {

const char kHelp[] =
    "Usage: tategaki [OPTIONS] [FILE]\n"
    "Lays out the text of FILE (or standard input) as vertical text (tategaki)\n"
    "and writes it to standard output.\n"
    "\n"
    "  --page-lines N      vertical lines per page (default 20)\n"
    "  --line-chars N      characters per vertical line (default 20)\n"
    "  --line-space N      spacing between vertical lines, in characters (default 1)\n"
    "  --separator TEXT    text of the line between pages (default: none)\n"
    "  --table PATH        character table (default: GlyphSwap.dat beside this program)\n"
    "  --tab-mode          keep the characters as they are and space with TABs\n"
    "                      (default: wide mode, full-width characters and spaces)\n"
    "  --no-quote          no special layout for quoted lines\n"
    "  --quote-marker TEXT the mark of a quoted line (default \">\")\n"
    "  --cp932             read and write CP932 (Shift_JIS) instead of UTF-8\n"
    "  --lf                read LF line ends as CR LF and write LF instead of CR LF\n"
    "  --progress          print each progress value on standard error\n"
    "  --help              show this help\n"
    "Line breaks are CR LF; without --lf a lone LF is ignored.\n"
    "Exit status: 0 done, 1 a file could not be read, 2 wrong usage.\n"
    "\n"
    "使い方: tategaki [オプション] [ファイル]\n"
    "ファイル（省略時は標準入力）の横書きの文章を縦書きに変換し、標準出力に書き出します。\n"
    "\n"
    "  --page-lines N      1頁の行数（既定 20）\n"
    "  --line-chars N      1行の文字数（既定 20）\n"
    "  --line-space N      行間（文字数、既定 1）\n"
    "  --separator TEXT    頁の区切線の文字列（既定 なし）\n"
    "  --table PATH        変換テーブル（既定 このプログラムと同じフォルダの GlyphSwap.dat）\n"
    "  --tab-mode          文字を全角にせず、行間をタブで空けます（既定 全角モード）\n"
    "  --no-quote          引用行を特別に扱いません\n"
    "  --quote-marker TEXT 引用行の印（既定 \">\"）\n"
    "  --cp932             UTF-8 の代わりに CP932（シフトJIS）で読み書きします\n"
    "  --lf                LF の改行を CR LF として読み、LF で書き出します\n"
    "  --progress          進捗の値を標準エラーに1行ずつ書き出します\n"
    "  --help              この説明を表示します\n"
    "改行は CR LF です。--lf を付けないと、単独の LF は無視されます。\n"
    "終了コード: 0 正常、1 ファイルが読めない、2 使い方の誤り。\n";

class ProgressPrinter : public QObject {
  Q_OBJECT
 public:
  Q_INVOKABLE void Progress(int value) { std::fprintf(stderr, "%d\n", value); }
};

int usage(const QString& message) {
  std::fprintf(stderr, "tategaki: %s (see tategaki --help)\n", message.toUtf8().constData());
  return 2;
}

std::optional<int> wholeNumber(const QString& text) {
  bool ok = false;
  const qlonglong v = text.toLongLong(&ok);
  if (!ok || v < 1 || v > 0x7FFFFFFF) return std::nullopt;
  for (QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();

  int pageLines = 20;
  int lineChars = 20;
  int lineSpace = 1;
  QString separator;
  QString tablePath = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("GlyphSwap.dat"));
  bool tabMode = false;
  bool quote = true;
  QString marker = QStringLiteral(">");
  bool cp932 = false;
  bool lf = false;
  bool progress = false;
  QString file;
  bool haveFile = false;

  for (qsizetype i = 0; i < args.size(); ++i) {
    QString arg = args[i];
    std::optional<QString> inlineValue;
    if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
      inlineValue = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
      arg = arg.left(arg.indexOf(QLatin1Char('=')));
    }
    const auto value = [&]() -> std::optional<QString> {
      if (inlineValue) return inlineValue;
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    const auto flag = [&]() { return !inlineValue; };
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == QLatin1String("--page-lines") || arg == QLatin1String("--line-chars") ||
        arg == QLatin1String("--line-space")) {
      const auto v = value();
      if (!v) return usage(arg + QStringLiteral(" needs a value"));
      const auto n = wholeNumber(*v);
      if (!n)
        return usage(arg + QStringLiteral(" must be a whole number of 1 or more, not \"") + *v + QStringLiteral("\""));
      (arg == QLatin1String("--page-lines")   ? pageLines
       : arg == QLatin1String("--line-chars") ? lineChars
                                              : lineSpace) = *n;
    } else if (arg == QLatin1String("--separator") || arg == QLatin1String("--table") ||
               arg == QLatin1String("--quote-marker")) {
      const auto v = value();
      if (!v) return usage(arg + QStringLiteral(" needs a value"));
      (arg == QLatin1String("--separator") ? separator : arg == QLatin1String("--table") ? tablePath : marker) = *v;
    } else if (arg == QLatin1String("--tab-mode") && flag()) {
      tabMode = true;
    } else if (arg == QLatin1String("--no-quote") && flag()) {
      quote = false;
    } else if (arg == QLatin1String("--cp932") && flag()) {
      cp932 = true;
    } else if (arg == QLatin1String("--lf") && flag()) {
      lf = true;
    } else if (arg == QLatin1String("--progress") && flag()) {
      progress = true;
    } else if (arg == QLatin1String("--")) {
      if (i + 1 < args.size()) {
        if (haveFile || i + 2 < args.size()) return usage(QStringLiteral("only one FILE may be given"));
        file = args[++i];
        haveFile = true;
      }
    } else if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
      return usage(QStringLiteral("unknown option ") + args[i]);
    } else {
      if (haveFile) return usage(QStringLiteral("only one FILE may be given"));
      file = arg;
      haveFile = true;
    }
  }
  if (!MyTategakiEngine::LayoutAccepted(pageLines, lineChars, lineSpace))
    return usage(
        QStringLiteral("the layout is too large (line space at most 32767, "
                       "(line chars + 1) x (line space + 1) at most 16777216)"));

  QFile in;
  const bool fromStdin = !haveFile || file == QLatin1String("-");
  const bool opened =
      fromStdin ? in.open(stdin, QIODevice::ReadOnly) : (in.setFileName(file), in.open(QIODevice::ReadOnly));
  if (!opened) {
    std::fprintf(stderr, "tategaki: cannot read %s: %s\n", file.toUtf8().constData(),
                 in.errorString().toUtf8().constData());
    return 1;
  }
  const QByteArray raw = in.readAll();
  if (in.error() != QFileDevice::NoError) {
    std::fprintf(stderr, "tategaki: cannot read %s\n", fromStdin ? "standard input" : file.toUtf8().constData());
    return 1;
  }

  GlyphSwapTable table;
  if (!GetGlyphSwapData(tablePath, table)) {
    std::fprintf(stderr, "tategaki: cannot read the character table %s\n", tablePath.toUtf8().constData());
    return 1;
  }

  QString body = cp932 ? Cp932::Decode(raw) : QString::fromUtf8(raw);
  if (!cp932 && body.startsWith(QChar(0xFEFF))) body.remove(0, 1);
  if (lf) {
    QString crlf;
    crlf.reserve(body.size() + body.size() / 16);
    for (qsizetype i = 0; i < body.size(); ++i) {
      if (body[i] == QLatin1Char('\n') && (i == 0 || body[i - 1] != QLatin1Char('\r'))) crlf += QLatin1Char('\r');
      crlf += body[i];
    }
    body = crlf;
  }

  if (!MyTategakiEngine::OutputAccepted(body, pageLines, lineChars, lineSpace,
                                        MyTategakiEngine::LongestSubstitute(table), separator.size()))
    return usage(
        QStringLiteral("the layout is too large for this text: its vertical text would take more than 256 MiB"));

  MyTategakiEngine engine;
  ProgressPrinter printer;
  if (progress) {
    engine.SetProgressReceiver(&printer);
    engine.SetProgressMethod(QStringLiteral("Progress"));
  }
  QString vertical = engine.ConvertToVertical(body, pageLines, lineChars, separator, table,
                                              tabMode ? MyTategakiEngine::kTabMode : MyTategakiEngine::kWideMode,
                                              lineSpace, quote, marker);
  if (engine.ConversionRefused()) {
    std::fprintf(stderr, "tategaki: there is not enough memory for the vertical text of this layout\n");
    return 2;
  }
  if (lf) vertical.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const QByteArray bytes = cp932 ? Cp932::Encode(vertical) : vertical.toUtf8();
  if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
          static_cast<size_t>(bytes.size()) ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "tategaki: cannot write the output\n");
    return 1;
  }
  return 0;
}

#include "tategaki.moc"
