// An upload takes most of a second on the line. Whatever the player does
// the moment the editor lets them (read the stored effect, Request, Unlink,
// close the editor), the image reaches the pedal whole, as one frame, and
// what follows comes as frames of their own.
#include "PedalFixture.h"

namespace kestra::test {
namespace {

const QString Stored = "Wobblecat Trem"; // five parameters

struct FollowUp {
    const char* name;
    // What the player does as soon as the editor lets them.
    std::function<void(PedalFixture&)> act;
    const char* frame; // the follow-up's frame after the image
    // The status line at the end: the last action's outcome.
    const char* status = "Upload complete";
};

void PrintTo(const FollowUp& f, std::ostream* os) {
    *os << f.name;
}

class UploadThen : public PedalFixture, public ::testing::WithParamInterface<FollowUp> {
public:
    void act(const QString& name) { click(name); }
    void doUnlink() { trigger("Unlink"); }
    void closeEditor() {
        main->show();
        main->close();
    }
};

TEST_P(UploadThen, TheImageArrivesWhole) {
    if (const QString m = missing({Stored}); !m.isEmpty())
        GTEST_SKIP() << m.toStdString() << " is not in the compiled catalogue";
    trigger("Edit After Upload"); // off: the player's own steps alone
    link();
    upload("Modulation", Stored);
    getStored(); // Request needs the stored effect's window
    pedal.clearWrites();

    click("Upload Selected Effect");
    ASSERT_TRUE(clock.runUntil([this] { return connection().operation().isEmpty(); }));
    GetParam().act(*this);
    bool closed = false;
    connection().whenClosed([&closed] { closed = true; });
    clock.runUntil([&] { return closed || connection().operation().isEmpty(); });
    clock.advance(2000);

    const QStringList frames = pedal.command("frames").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(frames.size(), 3) << frames.join(' ').left(200).toStdString();
    EXPECT_EQ(frames[0], "0D01");
    EXPECT_EQ(frames[1], imageOf(Stored)) << "the image, whole and alone";
    EXPECT_EQ(frames[2], GetParam().frame);
    if (connection().state() == Connection::State::Linked) {
        EXPECT_EQ(statusLabel(), GetParam().status);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FollowUps, UploadThen,
    ::testing::Values(
        FollowUp{"GetStored",
                 [](PedalFixture& f) { static_cast<UploadThen&>(f).act("Get FX Stored on Pedal"); },
                 "0600"},
        FollowUp{"Request", [](PedalFixture& f) { static_cast<UploadThen&>(f).act("Request"); },
                 "0205", "5 parameters read from the pedal"},
        FollowUp{"Unlink", [](PedalFixture& f) { static_cast<UploadThen&>(f).doUnlink(); },
                 "0A0000"},
        FollowUp{"CloseTheEditor",
                 [](PedalFixture& f) { static_cast<UploadThen&>(f).closeEditor(); }, "0A0000"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestra::test
