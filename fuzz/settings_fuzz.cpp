// Any Tallpost.ini: the settings load (or refuse the table) without a fault,
// and a save of what was loaded reads back the same.
#include "fuzz/FuzzSupport.h"
#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/Dialogs.h"

TALLPOST_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  const QString folder = fuzz::Scratch();
  AppState state(folder);
  fuzz::WriteFile(state.IniPath, fuzz::Bytes(data, size));
  fuzz::WriteFile(state.GlyphSwapPath, QByteArray("A\0B\0"
                                                  "0\0",
                                                  6));
  NoDialogs dialogs;
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  if (!LoadSettings(state, ini)) return 0;
  fuzz::Require(!state.SeparatorList.isEmpty());
  return 0;
}
