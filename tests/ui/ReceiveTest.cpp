#include "EditorFixture.h"
#include "core/DebugLog.h"

#include <QRadioButton>

namespace kestra::test {
namespace {

class Receive : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        main->menuConnectClick();
        prompts.clear();
    }
};

TEST_F(Receive, BankStatusChecksTheBankRadio) {
    pedal.command("send 3032"); // "02"
    poll(3);
    EXPECT_TRUE(main->rdbtnBank3->isChecked());
    pedal.command("send 3035"); // "05" names no bank
    poll(3);
    EXPECT_TRUE(main->rdbtnBank3->isChecked());
    EXPECT_TRUE(log().contains("Data(ASCII): 02"));
}

TEST_F(Receive, FootswitchInBankModeReachesTheBankRadio) {
    pedal.command("mode bank");
    pedal.command("footswitch FS");
    poll(5);
    EXPECT_TRUE(main->rdbtnBank1->isChecked() || main->rdbtnBank2->isChecked() ||
                main->rdbtnBank3->isChecked());
}

TEST_F(Receive, StatusTextWithoutNumberIsReportedAndPollingGoesOn) {
    pedal.command("send 30"); // "0" alone
    poll(2);
    EXPECT_EQ(prompts.errors, QStringList({"'' is not a valid integer value"}));
    EXPECT_TRUE(main->Timer_USB_read.isActive());
    pedal.command("send 3031");
    poll(2);
    EXPECT_TRUE(main->rdbtnBank2->isChecked());
}

TEST_F(Receive, UploadCompleteGoesToTheStatusLabelOnlyWhenExact) {
    pedal.command("send " + QString::fromLatin1(QByteArray("Upload complete\r\n").toHex()));
    poll(2);
    EXPECT_EQ(main->lblStatus->text(), "Status: ");
    pedal.command("send " + QString::fromLatin1(QByteArray("Upload complete").toHex()));
    poll(2);
    EXPECT_EQ(main->lblStatus->text(), "Upload complete");
}

TEST_F(Receive, RealtimeFrameReachesTheDispatch) {
    pedal.command("send AA0B020155");
    poll(2);
    EXPECT_TRUE(log().contains("realtime frame: source 11 parameter 2 value 341"))
        << log().right(400).toStdString();
}

TEST_F(Receive, RealtimeFrameSplitOverTwoReadsIsReassembled) {
    pedal.command("fault split 2");
    pedal.command("send AA00050400");
    poll(4);
    EXPECT_TRUE(log().contains("realtime frame: source 0 parameter 5 value 1024"))
        << log().right(400).toStdString();
}

TEST_F(Receive, TransportErrorsAreShownOncePollingHasRun) {
    poll(1);
    pedal.command("fault unplug");
    main->setLiveMode(true);
    EXPECT_EQ(prompts.messages, QStringList({"FT_Write - General IO error..."}));
    // The poll itself stays quiet while the device is gone.
    poll(3);
    EXPECT_EQ(prompts.messages.size(), 1);
}

} // namespace
} // namespace kestra::test
