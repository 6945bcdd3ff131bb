// A parameter window on the offscreen platform, linked to the virtual pedal,
// with the instant clock and recorded prompts. Effects come from the
// catalogue compiled into the test.
#pragma once

#include "catalogue/EffectImage.h"
#include "catalogue/ResourceNames.h"
#include "catalogue/ResourceStore.h"
#include "editor/TformFXParameters.h"
#include "port/Communication.h"
#include "tests/support/TestClock.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/VirtualPedalControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>
#include <memory>

namespace kestra::test {

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loadFrom(virtualD2xxPath())) << library.errorString().toStdString();
        pedal.command("reset");
        setPortDefaults(transport.portSettings, Parity::None);
        ASSERT_TRUE(openAndConfigure(transport, QStringLiteral("KS000001")));
        window = std::make_unique<TformFXParameters>(state, transport);
        QObject::connect(window.get(), &TformFXParameters::closed, [this] { closedSignal = true; });
    }
    void TearDown() override {
        window.reset();
        transport.CloseFTDevice();
        pedal.command("reset");
    }

    // Opens the window on effect as the main window does; writes start empty.
    void open(const QString& effect, bool stored = true) {
        if (!ResourceStore::compiled().contains(format_resource_name(effect)))
            GTEST_SKIP() << effect.toStdString() << " is not in the compiled catalogue";
        state.selectedEffectName = effect;
        state.selectedIsStored = stored;
        window->show();
        window->fitToRows();
        pedal.clearWrites();
    }

    // The address of parameter index of effect, read from the image itself.
    static QString addressOf(const QString& effect, int index) {
        const QByteArray image = *ResourceStore::compiled().find(format_resource_name(effect));
        return parameterAddress(QString::fromLatin1(image), index);
    }

    // The Set parameter frame the pedal should receive.
    static QString setFrame(const QString& effect, int index, const char* value) {
        return QStringLiteral("01") + addressOf(effect, index) + QLatin1String(value);
    }

    TestClock clock;
    TestDialogs prompts;
    VirtualPedalControl pedal;
    D2xxLibrary library;
    D2XXUnit transport{library};
    EditorState state;
    std::unique_ptr<TformFXParameters> window;
    bool closedSignal = false;
};

} // namespace kestra::test
