// Any bytes from an SMTP or POP server, split anywhere: whole replies come out
// without a fault, and an SMTP reply always ends with its final line.
#include "fuzz/FuzzSupport.h"
#include "mail/ReplyLines.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t step = 1 + data[0] % 17;
  for (ReplyLines::Kind kind : {ReplyLines::Kind::Smtp, ReplyLines::Kind::Pop}) {
    ReplyLines lines(kind);
    for (std::size_t at = 1; at < size; at += step) {
      lines.Add(fuzz::Bytes(data + at, std::min(step, size - at)));
      QString reply;
      while (lines.Next(reply)) fuzz::Require(!reply.isEmpty());
    }
  }
  return 0;
}
