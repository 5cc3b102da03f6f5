#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/AppInfo.h"
#include "core/DateTime.h"
#include "core/Errors.h"
#include "platform/Resources.h"

namespace {

struct TableEntry {
  uint32_t id;
  const char* text;
};

// The entries as the sources hold them, to compare with what each target reads back.
const TableEntry kSourceTable[] = {
#define VELO_STRING(aId, aText) {aId, aText},
#include "platform/StringTable.inc"
#undef VELO_STRING
};

tMx_StringLookup LookupOf(std::map<uint32_t, std::string> aTable) {
  return [table = std::move(aTable)](uint32_t aId) {
    auto it = table.find(aId);
    return it == table.end() ? std::string() : it->second;
  };
}

tMx_ApplicationInfo Loaded(std::map<uint32_t, std::string> aTable) {
  tMx_ApplicationInfo info;
  info.Load(LookupOf(std::move(aTable)));
  return info;
}

TEST(StringTable, EveryTargetReadsTheEntriesOfTheSources) {
  for (const TableEntry& entry : kSourceTable) {
    SCOPED_TRACE(entry.id);
    EXPECT_EQ(platform::LoadResourceString(entry.id), entry.text);
  }
  // Around and beyond the table, including ids a string table cannot hold.
  for (uint32_t id : {0u, 9999u, 10046u, 10100u, 65535u, 65536u + 10000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(platform::LoadResourceString(id), "");
  }
}

TEST(StringTable, NonAsciiTextSurvivesTheResourceCompiler) {
  EXPECT_EQ(platform::LoadResourceString(10001), "$COPYRIGHT=Copyright \u00A9 2021-2025 Tarn Srl");
}

TEST(ApplicationInfo, LoadsTheLibrarysVersionHistory) {
  tMx_ApplicationInfo info;
  info.Load();
  EXPECT_EQ(info.Description(), "Tarn Driver - VIROZI (Italy)");
  EXPECT_EQ(info.Copyright(), "Copyright \u00A9 2021-2025 Tarn Srl");
  EXPECT_EQ(info.Version(), "1.10");
  EXPECT_EQ(info.ReleaseDate(), EncodeDate(2025, 1, 30));

  struct Release {
    const char* version;
    int year, month, day;
    const char* note;
  };
  const Release expected[] = {
      {"1.00", 2021, 2, 27, "Rilascio Iniziale"},
      {"1.01", 2021, 6, 29, "Aggiunto supporto Satispay"},
      {"1.02", 2021, 7, 25, "Aggiunto Void singolo Coupon"},
      {"1.03", 2021, 7, 31, "Mappate tutte le tipologie di pagamento"},
      {"1.04", 2021, 8, 2, "Bug Fixing"},
      {"1.05", 2021, 8, 25, "Implementati metodi GetTotals e DayClose"},
      {"1.06", 2021, 9, 14,
       "Corretta anomalia in determinazione importo pagamento BPE in caso di tagli multipli"},
      {"1.07", 2021, 9, 24, "Forzata lunghezza di CodiceDevice a 10 caratteri numerici"},
      {"1.08", 2024, 6, 21, "Allineato struttura classi ai nuovi modelli"},
      {"1.09", 2024, 7, 17, "Corretta anomalia in ritorno messaggio di errore pagamento"},
      {"1.10", 2025, 1, 30, "Aggiunto parametro COD_SCON in ReverseTransactionDBP"},
  };
  ASSERT_EQ(info.History().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].version);
    const tMx_ApplicationHistory& h = info.History()[i];
    EXPECT_EQ(h.Version(), expected[i].version);
    EXPECT_EQ(h.ReleaseDate(), EncodeDate(expected[i].year, expected[i].month, expected[i].day));
    EXPECT_FALSE(h.Author().empty());
    EXPECT_EQ(h.Text(), std::vector<std::string>{expected[i].note});
  }
}

TEST(ApplicationInfo, ReadingStopsAfterElevenMissingIds) {
  struct Case {
    uint32_t gap;  // missing ids between the two versions
    const char* lastVersion;
  };
  const Case cases[] = {{0, "2.0"}, {1, "2.0"}, {10, "2.0"}, {11, "1.0"}, {12, "1.0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gap);
    tMx_ApplicationInfo info = Loaded({{10000, "$VERSION=1.0"}, {10001 + c.gap, "$VERSION=2.0"}});
    EXPECT_EQ(info.Version(), c.lastVersion);
  }
  // The count starts at the first id: a table that begins late is not read at all.
  EXPECT_EQ(Loaded({{10010, "$VERSION=1.0"}}).Version(), "1.0");
  EXPECT_EQ(Loaded({{10011, "$VERSION=1.0"}}).Version(), "");
  // An empty string counts as missing, and a string after it resets the count.
  tMx_ApplicationInfo info = Loaded({{10000, "$VERSION=1.0"},
                                     {10005, ""},
                                     {10011, "$VERSION=2.0"},
                                     {10022, "$VERSION=3.0"},
                                     {10034, "$VERSION=4.0"}});
  EXPECT_EQ(info.Version(), "3.0");
}

TEST(ApplicationInfo, KeysAndValues) {
  tMx_ApplicationInfo info = Loaded({
      {10000, "$author=before any version"},
      {10001, "$PTEXT=before any version"},
      {10002, "$RELEASEDATE=01/01/2000"},
      {10003, "$appdescription=Desc = with equals"},
      {10004, "$Version=2.5"},
      {10005, "$unknown=ignored"},
      {10006, "no equals sign"},
      {10007, "$author=XY"},
      {10008, "$text=first"},
      {10009, "$PText=second=part"},
      {10010, "$RELEASEDATE=05-03-2022"},
      {10011, "$VERSION="},
  });
  EXPECT_EQ(info.Description(), "Desc = with equals");
  EXPECT_EQ(info.Version(), "");  // the last $VERSION wins, even an empty one
  EXPECT_EQ(info.ReleaseDate(), EncodeDate(2022, 3, 5));
  ASSERT_EQ(info.History().size(), 2u);
  const tMx_ApplicationHistory& h = info.History()[0];
  EXPECT_EQ(h.Version(), "2.5");
  EXPECT_EQ(h.Author(), "XY");
  EXPECT_EQ(h.ReleaseDate(), EncodeDate(2022, 3, 5));
  EXPECT_EQ(h.Text(), (std::vector<std::string>{"first", "second=part"}));
  EXPECT_EQ(info.History()[1].ReleaseDate(), 0);
}

TEST(ApplicationInfo, ReleaseDatesAreReadByPosition) {
  struct Case {
    const char* value;
    int year, month, day;
  };
  const Case cases[] = {
      {"30/01/2025", 2025, 1, 30},
      {"30.01.2025", 2025, 1, 30},
      {"29/02/2024", 2024, 2, 29},
      {"30/01/2025 trailing", 2025, 1, 30},
      // One-digit parts shift the positions: "1/" and "/2" are not numbers and count as
      // 1, the year is read from "21".
      {"1/2/2021", 21, 1, 1},
      {"xx/yy/zzzz", 1, 1, 1},
      {"", 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    tMx_ApplicationInfo info =
        Loaded({{10000, "$VERSION=1"}, {10001, std::string("$RELEASEDATE=") + c.value}});
    EXPECT_EQ(info.ReleaseDate(), EncodeDate(c.year, c.month, c.day));
  }
  for (const char* value : {"31/02/2021", "01/13/2021", "00/01/2021", "01/01/0000"}) {
    SCOPED_TRACE(value);
    try {
      Loaded({{10000, "$VERSION=1"}, {10001, std::string("$RELEASEDATE=") + value}});
      ADD_FAILURE() << "no error";
    } catch (const EMxError& e) {
      EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
  }
}

TEST(ApplicationInfo, LongStringsAreCutTo1024Characters) {
  std::string note;
  for (int i = 0; i < 1100; ++i) note += "\u00E9";  // two bytes each
  tMx_ApplicationInfo info = Loaded({{10000, "$VERSION=1"}, {10001, "$PTEXT=" + note}});
  ASSERT_EQ(info.History().at(0).Text().size(), 1u);
  EXPECT_EQ(info.History()[0].Text()[0], note.substr(0, (1024 - 7) * 2));
}

TEST(ApplicationInfo, ATableWithoutEndStopsAtTheLastStringId) {
  uint32_t highest = 0;
  size_t calls = 0;
  tMx_ApplicationInfo info;
  info.Load([&](uint32_t aId) {
    highest = std::max(highest, aId);
    ++calls;
    return std::string("$PTEXT=x");
  });
  EXPECT_EQ(highest, platform::kMaxStringId);
  EXPECT_EQ(calls, platform::kMaxStringId - tMx_ApplicationInfo::kFirstId + 1);
}

TEST(ApplicationInfo, LoadingAgainStartsAfresh) {
  tMx_ApplicationInfo info;
  info.Load(LookupOf({{10000, "$VERSION=1"}, {10001, "$RELEASEDATE=02/03/2004"}}));
  info.Load(LookupOf({{10000, "$VERSION=2"}}));
  ASSERT_EQ(info.History().size(), 1u);
  EXPECT_EQ(info.Version(), "2");
  EXPECT_EQ(info.ReleaseDate(), 0);
}

TEST(ApplicationInfo, VersionStringUsesTheShortDateFormat) {
  tMx_ApplicationInfo info;
  info.Load();
  EXPECT_EQ(info.VersionString(), "[1.10 - " + ShortDateText(EncodeDate(2025, 1, 30)) + "]");
}

TEST(ShortDate, ShowsDayMonthAndYear) {
  // The layout depends on the regional settings; every usual one shows the day, the
  // month and the year's last two digits, and no time.
  std::string text = ShortDateText(EncodeDate(2025, 1, 30));
  EXPECT_NE(text.find("30"), std::string::npos) << text;
  EXPECT_NE(text.find("25"), std::string::npos) << text;
  EXPECT_NE(text.find('1'), std::string::npos) << text;
  EXPECT_EQ(text.find(':'), std::string::npos) << text;
  EXPECT_NE(ShortDateText(EncodeDate(2025, 1, 3)), text);
  EXPECT_NE(ShortDateText(EncodeDate(2025, 3, 30)), text);
  // The time of day does not change the date.
  EXPECT_EQ(ShortDateText(EncodeDate(2025, 1, 30) + 0.99), text);
  EXPECT_EQ(platform::FormatShortDate(2025, 2, 30), "");
}

}  // namespace
