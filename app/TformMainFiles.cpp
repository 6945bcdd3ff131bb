// The main window's files: preset files of the stored effect's parameter
// state, and impulse responses loaded into an IR effect's image.
#include "app/TformMain.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "editor/ParameterLogic.h"
#include "editor/TformFXParameters.h"
#include "ir/ImpulseResponse.h"
#include "ir/IrLoader.h"
#include "operations/Configuration.h"

#include <QAction>
#include <QDir>
#include <QPushButton>

namespace kestra {

namespace {

const char PresetFilter[] = "Preset files (*.txt)";
const char PresetSuffix[] = ".txt";

// Values, routing and flags only mean something for the effect on the pedal:
// applied to another effect's window they would reach the wrong addresses.
bool showsStoredEffect(const EditorState& state, const TformFXParameters* window) {
    if (!state.linked) {
        Prompts::instance().error(
            QStringLiteral("The pedal is not linked. Choose Connection > Link, then try again."));
        return false;
    }
    if (!window || !window->hasParameterRows() || !state.selectedIsStored) {
        Prompts::instance().error(
            QStringLiteral("The parameter window does not show the effect stored on the pedal."
                           "\n\nClick \"Get FX Stored on Pedal\" and \"Request\", then try "
                           "again."));
        return false;
    }
    return true;
}

} // namespace

void TformMain::menuSaveConfigurationClick() {
    // Whatever happens, the next upload waits until an effect is chosen again.
    struct DisableUpload {
        QPushButton* button;
        ~DisableUpload() { button->setEnabled(false); }
    } disableUpload{btnUpload};

    if (!showsStoredEffect(state_, formFXParameters_))
        return;
    // A file of stale values would look like the pedal's; the Request has
    // told the player why it failed.
    if (!requestParameterState())
        return;

    const TformFXParameters& window = *formFXParameters_;
    Configuration configuration;
    configuration.effectNumber = state_.storedEffectNumber;
    configuration.effectVersion = state_.storedEffectVersion;
    configuration.numOfParameters = window.numOfParameters();
    configuration.numOfReadbacks = window.numOfReadbacks();
    for (int i = 0; i < window.numOfParameters() && i < MaxParameters; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        configuration.values[slot] = window.parameterValues[slot];
        // Codes the boxes cannot show are saved as "none".
        configuration.assignments[slot] =
            sourceCodeForPosition(sourcePositionForCode(window.parameterAssignments[slot]));
        configuration.reverse[slot] = window.reverseParameters[slot];
    }
    for (int k = 0; k < window.numOfReadbacks() && k < MaxReadbacks; ++k) {
        const auto slot = static_cast<std::size_t>(k);
        configuration.leds[slot] =
            ledCodeForPosition(ledPositionForCode(window.readbackLEDs[slot]));
    }
    QString fileName = state_.selectedEffectName;
    SaveTextWithDialog(composeConfiguration(configuration), fileName);
}

bool TformMain::SaveTextWithDialog(const QString& text, QString& fileName) {
    const QString folder = presetFolder();
    QDir().mkpath(folder);
    QString path =
        Prompts::instance().saveFile({QStringLiteral("Save Preset File"), folder, fileName,
                                      QString::fromLatin1(PresetFilter), QStringLiteral("txt")});
    if (path.isEmpty())
        return false;
    if (!path.endsWith(QLatin1String(PresetSuffix)))
        path += QLatin1String(PresetSuffix);
    fileName = path;
    QString error;
    if (!writePresetFile(path, text, &error)) {
        Prompts::instance().error(QStringLiteral("Error saving file: ") + error +
                                  QStringLiteral("\n\nChoose another folder or name and save "
                                                 "again."));
        return false;
    }
    Prompts::instance().message(QStringLiteral("File saved successfully: ") + path);
    return true;
}

QString TformMain::loadTextWithDialog() {
    const QString folder = presetFolder();
    QDir().mkpath(folder);
    const QString path =
        Prompts::instance().openFile({QStringLiteral("Open Preset File"), folder, QString(),
                                      QString::fromLatin1(PresetFilter), QStringLiteral("txt")});
    if (path.isEmpty())
        return {};
    QString error;
    const std::optional<QString> text = readPresetFile(path, &error);
    if (!text) {
        Prompts::instance().error(QStringLiteral("Error loading file: ") + error +
                                  QStringLiteral("\n\nChoose another preset file."));
        return {};
    }
    Prompts::instance().message(QStringLiteral("File loaded successfully: ") + path);
    return *text;
}

void TformMain::menuLoadConfigurationClick() {
    if (!showsStoredEffect(state_, formFXParameters_))
        return;
    const QString text = loadTextWithDialog();
    debugLog(text);
    if (text.isEmpty())
        return;
    TformFXParameters& window = *formFXParameters_;
    const ConfigurationReading reading =
        readConfiguration(text, {state_.storedEffectNumber, state_.storedEffectVersion,
                                 window.numOfParameters(), window.numOfReadbacks()});
    if (!reading.configuration) {
        Prompts::instance().error(reading.error);
        return;
    }
    // Each setter moves the controls, whose handlers send what changed.
    const Configuration& c = *reading.configuration;
    for (int i = 0; i < c.numOfParameters && i < MaxParameters; ++i)
        window.parameterValues[static_cast<std::size_t>(i)] = c.values[static_cast<std::size_t>(i)];
    window.setItems();
    for (int i = 0; i < c.numOfParameters && i < MaxParameters; ++i)
        window.parameterAssignments[static_cast<std::size_t>(i)] =
            c.assignments[static_cast<std::size_t>(i)];
    window.setParameterAssignments();
    for (int i = 0; i < c.numOfParameters && i < MaxParameters; ++i) {
        if (const std::optional<int> flag = c.reverse[static_cast<std::size_t>(i)])
            window.reverseParameters[static_cast<std::size_t>(i)] = *flag;
    }
    window.setReverseParameters();
    if (c.numOfReadbacks > 0) {
        for (int k = 0; k < c.numOfReadbacks && k < MaxReadbacks; ++k)
            window.readbackLEDs[static_cast<std::size_t>(k)] = c.leds[static_cast<std::size_t>(k)];
        window.setReadbackLEDs();
    }
}

void TformMain::menuLoadIRClick() {
    if (!irRuleFor(state_.selectedEffectName)) {
        Prompts::instance().error(
            QStringLiteral("\"%1\" takes no impulse response.\n\nSelect one of the effects in "
                           "the Impulse Response category, then choose File > Load IR.")
                .arg(state_.selectedEffectName));
        return;
    }
    if (!formImpulseResponse)
        return;
    const QString path = formImpulseResponse->chooseWaveFile();
    if (path.isEmpty())
        return;
    QString error;
    const std::optional<IrLoad> load =
        loadImpulseResponse(path, state_.selectedEffectName, lists_, &error);
    if (!load) {
        if (!error.isEmpty())
            Prompts::instance().error(error);
        return;
    }
    state_.irEffectImage = load->image;
    Prompts::instance().message(irSummary(load->impulse));
}

} // namespace kestra
