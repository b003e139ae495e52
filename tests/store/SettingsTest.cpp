#include "store/ApiIniFileAccess.h"
#include "store/AppSettings.h"
#include "store/AppState.h"
#include "support/AtomicFile.h"
#include "support/Cp932.h"
#include "tests/testsupport/ScriptedDialogs.h"
#include "tests/testsupport/TempProgramFolder.h"

#include <QFile>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const QString kIni = QStringLiteral("Tallpost.ini");

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.InstallDefaultTable()); }
  void writeIni(const QString& text) { ASSERT_TRUE(folder.WriteBytes(kIni, Cp932::Encode(text))); }
  QString iniText() const { return Cp932::Decode(folder.ReadBytes(kIni)); }
  bool load(AppState& state) {
    ApiIniFileAccess ini(state.IniPath, &dialogs);
    return LoadSettings(state, ini);
  }
  bool save(const AppState& state) {
    ApiIniFileAccess ini(state.IniPath, &dialogs);
    return SaveSettings(state, ini);
  }
  TempProgramFolder folder;
  ScriptedDialogs dialogs;
};

TEST_F(Settings, NoFileGivesTheDefaults) {
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  AppSettings defaults;
  // A first start offers a layout that converts.
  defaults.PageLines = 20;
  defaults.LineChars = 20;
  defaults.LineSpace = 1;
  EXPECT_EQ(state.Settings, defaults);
  EXPECT_EQ(state.Settings.SmtpPort, 25);
  EXPECT_EQ(state.Settings.PopPort, -1);
  EXPECT_EQ(state.SeparatorList, (QStringList{QStringLiteral("（使用しない）"), QString()}));
  EXPECT_FALSE(state.GlyphSwap.isEmpty());
  EXPECT_TRUE(FirstRunCheckNeeded(state.Settings));
}

TEST_F(Settings, ValuesAreReadUnderTheirKeys) {
  writeIni(
      QStringLiteral("[Setting]\r\nTitle=山田の縦書\r\nAccount=yamada\r\nPasswd=secret\r\nEmail=y@example.jp\r\n"
                     "FullName=山田 太郎\r\nSmtpServer=smtp.example.jp\r\nSmtpPort=587\r\nPopServer=pop.example.jp\r\n"
                     "PopPort=110\r\nPageLines=18\r\nLineChars=22\r\nLineSpace=2\r\nSaveBcc=1\r\nSeparator=2\r\n"
                     "ShowMeter=1\r\n[Separator]\r\n－－－\r\n＊＊＊\r\n"));
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  const AppSettings& s = state.Settings;
  EXPECT_EQ(s.Title, QStringLiteral("山田の縦書"));
  EXPECT_EQ(s.FullName, QStringLiteral("山田 太郎"));
  EXPECT_EQ(s.SmtpPort, 587);
  EXPECT_EQ(s.PopServer, QStringLiteral("pop.example.jp"));
  EXPECT_EQ(s.PopPort, 110);
  EXPECT_EQ(s.PageLines, 18);
  EXPECT_EQ(s.LineChars, 22);
  EXPECT_EQ(s.LineSpace, 2);
  EXPECT_EQ(s.SaveBcc, 1);
  EXPECT_EQ(s.Separator, 2);
  EXPECT_EQ(s.ShowMeter, 1);
  EXPECT_EQ(state.SeparatorList,
            (QStringList{QStringLiteral("（使用しない）"), QStringLiteral("－－－"), QStringLiteral("＊＊＊")}));
  EXPECT_FALSE(FirstRunCheckNeeded(s));
}

TEST_F(Settings, SmtpPortMinusOneNeedsTheFirstRunCheckAlone) {
  writeIni(QStringLiteral("[Setting]\r\nPasswd=p\r\nEmail=e@x\r\nSmtpServer=s\r\nSmtpPort=-1\r\n"));
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  EXPECT_TRUE(FirstRunCheckNeeded(state.Settings));
  for (const char* missing : {"Passwd", "Email", "SmtpServer"}) {
    AppSettings s;
    s.Passwd = s.Email = s.SmtpServer = QStringLiteral("x");
    if (QLatin1String(missing) == QLatin1String("Passwd")) s.Passwd.clear();
    if (QLatin1String(missing) == QLatin1String("Email")) s.Email.clear();
    if (QLatin1String(missing) == QLatin1String("SmtpServer")) s.SmtpServer.clear();
    EXPECT_TRUE(FirstRunCheckNeeded(s)) << missing;
  }
}

TEST_F(Settings, EmptyOrBrokenNumbersKeepTheirDefaults) {
  writeIni(
      QStringLiteral("[Setting]\r\nSmtpPort=abc\r\nPopServer=\r\nPopPort=\r\nPageLines=12x\r\n"
                     "LineSpace=70000\r\nLineChars=20.5\r\nSaveBcc=99999\r\n"));
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  EXPECT_EQ(state.Settings.SmtpPort, 25);
  EXPECT_EQ(state.Settings.PopServer, QString());
  EXPECT_EQ(state.Settings.PopPort, -1);
  EXPECT_EQ(state.Settings.PageLines, 0);
  EXPECT_EQ(state.Settings.LineSpace, 0);   // beyond 16 bits
  EXPECT_EQ(state.Settings.LineChars, 20);  // half to even
  EXPECT_EQ(state.Settings.SaveBcc, 0);     // parsed as 16 bits
}

TEST_F(Settings, TheConnectionSecurityAndLoginKeysReadBackAndAnOldFileMeansNeither) {
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  EXPECT_EQ(state.Settings.Security, SecurityNone) << "a file without the keys";
  EXPECT_EQ(state.Settings.SmtpAuth, 0);
  state.Settings.Security = SecurityStartTls;
  state.Settings.SmtpAuth = 1;
  ASSERT_TRUE(save(state));
  AppState again(folder.Path());
  ASSERT_TRUE(load(again));
  EXPECT_EQ(again.Settings.Security, SecurityStartTls);
  EXPECT_EQ(again.Settings.SmtpAuth, 1);
  // Values no version writes read as off: a login is never sent where the
  // user did not ask for one.
  writeIni(QStringLiteral("[Setting]\r\nSecurity=7\r\nSmtpAuth=-3\r\n"));
  AppState odd(folder.Path());
  ASSERT_TRUE(load(odd));
  EXPECT_EQ(odd.Settings.Security, SecurityNone);
  EXPECT_EQ(odd.Settings.SmtpAuth, 0);
}

TEST_F(Settings, ANewFileHoldsTheKeysInTheirOrderAndReadsBack) {
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  state.Settings.Title = QStringLiteral("題");
  state.Settings.Email = QStringLiteral("me@example.jp");
  state.Settings.PageLines = 20;
  state.Settings.LineChars = 20;
  state.Settings.LineSpace = 1;
  state.Settings.ShowMeter = 1;
  state.SeparatorList = QStringList{NoSeparatorText(), QStringLiteral("－－－")};
  ASSERT_TRUE(save(state));
  EXPECT_EQ(iniText(),
            QStringLiteral("[Setting]\r\nTitle=題\r\nLineChars=20\r\nAccount=\r\nPasswd=\r\nEmail=me@example.jp\r\n"
                           "FullName=\r\nSmtpServer=\r\nSmtpPort=25\r\nPopServer=\r\nPopPort=\r\nPageLines=20\r\n"
                           "LineSpace=1\r\nSaveBcc=0\r\nSeparator=0\r\nShowMeter=1\r\nSecurity=0\r\nSmtpAuth=0\r\n"
                           "[Separator]\r\n－－－\r\n\r\n"))
      << "the program's own keys come after the fifteen";
  AppState again(folder.Path());
  ASSERT_TRUE(load(again));
  EXPECT_EQ(again.Settings, state.Settings);
  EXPECT_EQ(again.SeparatorList, (QStringList{QStringLiteral("（使用しない）"), QStringLiteral("－－－")}));
}

TEST_F(Settings, PopPairIsWrittenOnlyWhenValid) {
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  state.Settings.PopServer = QStringLiteral("pop.example.jp");
  state.Settings.PopPort = -1;
  ASSERT_TRUE(save(state));
  EXPECT_TRUE(iniText().contains(QStringLiteral("\r\nPopServer=\r\nPopPort=\r\n")));
  state.Settings.PopPort = 110;
  ASSERT_TRUE(save(state));
  EXPECT_TRUE(iniText().contains(QStringLiteral("\r\nPopServer=pop.example.jp\r\nPopPort=110\r\n")));
  state.Settings.PopServer.clear();
  ASSERT_TRUE(save(state));
  AppState again(folder.Path());
  ASSERT_TRUE(load(again));
  EXPECT_EQ(again.Settings.PopPort, -1);
}

TEST_F(Settings, NoSeparatorSectionSavesAnEmptySection) {
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  ASSERT_TRUE(save(state));
  EXPECT_TRUE(iniText().endsWith(QStringLiteral("[Separator]\r\n\r\n")));
}

TEST_F(Settings, RepeatedSeparatorsAreKeptOnceAtTheirLastPosition) {
  writeIni(QStringLiteral("[Setting]\r\nTitle=t\r\n[Separator]\r\nA\r\nB\r\nA\r\nC\r\n[Other]\r\nx=1\r\n"));
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  ASSERT_EQ(state.SeparatorList.size(), 5);
  ASSERT_TRUE(save(state));
  EXPECT_TRUE(iniText().contains(QStringLiteral("[Separator]\r\nB\r\nA\r\nC\r\n\r\n[Other]\r\nx=1\r\n")))
      << iniText().toStdString();
}

TEST_F(Settings, TheFileHoldsAPasswordAndIsCreatedForItsOwnerOnly) {
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  state.Settings.Passwd = QStringLiteral("secret");
  ASSERT_TRUE(save(state));
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(state.IniPath).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Settings, AReadOnlyFileWarnsOnceAndIsLeftAlone) {
  writeIni(QStringLiteral("[Setting]\r\nTitle=old\r\n"));
  ASSERT_EQ(chmod(QFile::encodeName(folder.File(kIni)).constData(), 0444), 0);
  AppState state(folder.Path());
  ApiIniFileAccess ini(state.IniPath, &dialogs);
  ASSERT_TRUE(LoadSettings(state, ini));
  state.Settings.Title = QStringLiteral("new");
  EXPECT_FALSE(SaveSettings(state, ini));
  EXPECT_FALSE(SaveSettings(state, ini));
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0].text, ApiIniFileAccess::ReadOnlyWarningText());
  EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
  EXPECT_EQ(iniText(), QStringLiteral("[Setting]\r\nTitle=old\r\n"));
}

TEST_F(Settings, ReadIniTellsAbsentFromPresent) {
  writeIni(QStringLiteral("[S]\r\nk=v\r\nempty=\r\n[L]\r\none\r\ntwo\r\n"));
  ApiIniFileAccess ini(folder.File(kIni), &dialogs);
  QString v = QStringLiteral("stale");
  EXPECT_TRUE(ini.ReadIni(QStringLiteral("S"), v, QStringLiteral("k")));
  EXPECT_EQ(v, QStringLiteral("v"));
  EXPECT_FALSE(ini.ReadIni(QStringLiteral("S"), v, QStringLiteral("empty")));
  EXPECT_EQ(v, QString());
  EXPECT_TRUE(ini.ReadIni(QStringLiteral("L"), v));
  EXPECT_EQ(v, QStringLiteral("one") + QChar(0) + QStringLiteral("two"));
  EXPECT_FALSE(ini.ReadIni(QStringLiteral("None"), v));
  EXPECT_FALSE(ini.CheckIniWritable(folder.File(QStringLiteral("missing.ini"))));
  EXPECT_FALSE(ini.CheckIniWritable(folder.Path()));
  QStringList a;
  EnsureArray(a, QStringLiteral("first"));
  EnsureArray(a, QStringLiteral("second"));
  EXPECT_EQ(a, QStringList{QStringLiteral("first")});
}

TEST_F(Settings, AMissingTableFailsTheLoad) {
  ASSERT_TRUE(QFile::remove(folder.File(QStringLiteral("GlyphSwap.dat"))));
  AppState state(folder.Path());
  EXPECT_FALSE(load(state));
}

}  // namespace

namespace {

// Every text setting of a run carries the run's generation.
void setGeneration(AppSettings& s, int generation) {
  const QString g = QStringLiteral("g") + QString::number(generation);
  for (QString* text : {&s.Title, &s.Account, &s.Passwd, &s.Email, &s.FullName, &s.SmtpServer}) *text = g;
  s.SmtpPort = 1000 + generation % 60000;
}

TEST_F(Settings, AProgramKilledWhileSavingLeavesTheOldSettingsOrTheNewNeverAMix) {
  AppState first(folder.Path());
  ASSERT_TRUE(load(first));
  setGeneration(first.Settings, 0);
  ASSERT_TRUE(save(first));
  std::srand(7);
  int mixed = 0;
  const int kills = 40;
  for (int k = 0; k < kills; ++k) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Saves generation after generation until it is killed.
      AppState state(folder.Path());
      ApiIniFileAccess ini(state.IniPath, nullptr);
      LoadSettings(state, ini);
      for (int g = 1;; ++g) {
        setGeneration(state.Settings, g);
        SaveSettings(state, ini);
      }
    }
    ::usleep(static_cast<useconds_t>(2000 + std::rand() % 20000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    AppState after(folder.Path());
    ASSERT_TRUE(load(after));
    const QString g = after.Settings.Title;
    const bool same = after.Settings.Account == g && after.Settings.Passwd == g && after.Settings.Email == g &&
                      after.Settings.FullName == g && after.Settings.SmtpServer == g &&
                      after.Settings.SmtpPort == 1000 + g.mid(1).toInt() % 60000;
    if (!same) ++mixed;
  }
  EXPECT_EQ(mixed, 0) << "of " << kills << " kills";
}

TEST_F(Settings, ControlCharactersNeverStayInASettingAndLeftoverTemporaryFilesGo) {
  writeIni(QStringLiteral(
      "[Setting]\r\nEmail=taro@example.jp\tx\r\nAccount=ta\x01ro\r\nSmtpServer= mail\x7f.example.jp \r\n"));
  AppState state(folder.Path());
  ASSERT_TRUE(load(state));
  EXPECT_EQ(state.Settings.Email, QStringLiteral("taro@example.jpx"));
  EXPECT_EQ(state.Settings.Account, QStringLiteral("taro"));
  EXPECT_EQ(state.Settings.SmtpServer, QStringLiteral("mail.example.jp"));

  ASSERT_TRUE(folder.WriteBytes(QStringLiteral(".Tallpost.ini.a1B2c3"), "half"));
  ASSERT_TRUE(folder.WriteBytes(QStringLiteral(".local.backup"), "not ours"));
  EXPECT_EQ(AtomicFile::RemoveLeftovers(folder.Path(), QStringLiteral("Tallpost\\.ini")), 1);
  EXPECT_FALSE(QFile::exists(folder.File(QStringLiteral(".Tallpost.ini.a1B2c3"))));
  EXPECT_TRUE(QFile::exists(folder.File(QStringLiteral(".local.backup"))));
}

}  // namespace
