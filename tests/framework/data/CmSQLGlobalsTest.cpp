#include "framework/data/CmSQLGlobals.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

using platform::DateTime;

TEST(TDataAtual, StartsTodayAndShowsItInTheCaptionSuffix)
{
    platform::ScopedClockPin pin(DateTime {2026, 12, 11, 9, 30});
    TDataAtual date;
    EXPECT_EQ(date.Data(), (DateTime {2026, 12, 11}));
    EXPECT_EQ(date.CaptionSuffix(), " - (11/12/2026)");
}

TEST(TDataAtual, InvalidPartsKeepTheDateButStillNotify)
{
    TDataAtual date;
    int notified = 0;
    date.SetChangedHandler([&notified] { ++notified; });
    date.SetData(DateTime {2026, 4, 15});
    date.SetDia(31); // April has 30 days
    EXPECT_EQ(date.Data(), (DateTime {2026, 4, 15}));
    EXPECT_EQ(notified, 2);
    date.SetMes(5);
    date.SetDia(31);
    date.SetAno(2027);
    EXPECT_EQ(date.Data(), (DateTime {2027, 5, 31}));
    EXPECT_EQ(date.CaptionSuffix(), " - (31/05/2027)");
}

TEST(TDataAtual, TheZeroDateHasNoSuffix)
{
    TDataAtual date;
    date.SetData(DateTime {});
    EXPECT_EQ(date.CaptionSuffix(), "");
    date.SetData(DateTime {1899, 12, 31});
    EXPECT_EQ(date.CaptionSuffix(), " - (31/12/1899)");
}

TEST(TCmSQLGlobals, RegistersEachDataSetOnce)
{
    TCmSQLGlobals globals;
    auto* first = reinterpret_cast<TCmDataSet*>(0x10);
    auto* second = reinterpret_cast<TCmDataSet*>(0x20);
    globals.AddDataSet(first);
    globals.AddDataSet(second);
    globals.AddDataSet(first);
    EXPECT_EQ(globals.DataSetCount(), 2);
    globals.RemoveDataSet(first);
    EXPECT_EQ(globals.DataSetCount(), 1);
    EXPECT_EQ(globals.DataSets(0), second);
}
