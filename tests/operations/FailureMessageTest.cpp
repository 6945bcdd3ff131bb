// What the player reads when an exchange or a link fails: the player's words,
// never the driver's, which go to the debug log.
#include "core/DebugLog.h"
#include "operations/PedalOperations.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

const QString DriverText = QStringLiteral("FT_Purge TX - Insufficient resources (FT_IO_ERROR)");

class FailureMessage : public ::testing::Test {
protected:
    void SetUp() override {
        DebugLog::setSink([this](const QStringList& lines, bool) { log += lines; });
    }
    void TearDown() override { DebugLog::setSink({}); }
    QStringList log;
};

TEST_F(FailureMessage, ExchangesSayWhatHappenedInThePlayersWords) {
    using O = ExchangeResult::Outcome;
    const struct {
        ExchangeResult result;
        const char* starts;
    } cases[] = {
        {{O::Failed, DriverText, true}, "The connection to the pedal failed."},
        {{O::Failed, "The pedal refused the image.", false}, "The pedal refused the image."},
        {{O::TimedOut, "Read EEPROM", false}, "The pedal did not answer Read EEPROM"},
        {{O::Cancelled, {}, false}, ""},
        {{O::Lost, DriverText, false}, ""},
    };
    for (const auto& c : cases) {
        const QString text = failureMessage(c.result);
        EXPECT_EQ(text.left(static_cast<qsizetype>(qstrlen(c.starts))), QLatin1String(c.starts));
        EXPECT_FALSE(text.contains(QLatin1String("FT_"))) << text.toStdString();
    }
}

TEST_F(FailureMessage, ALinkThatFailsForAnotherReasonLogsTheDriversText) {
    const QString text =
        linkFailureMessage(PortResult::failure(PortResult::Error::Failed, DriverText));
    EXPECT_TRUE(text.startsWith("The pedal could not be linked.")) << text.toStdString();
    EXPECT_FALSE(text.contains(DriverText));
    EXPECT_TRUE(log.contains(DriverText));
}

} // namespace
} // namespace kestra
