#include "app/KestraApplication.h"

#include <QApplication>

namespace kestra {

KestraApplication::KestraApplication(bool installPrompts) : ownsPrompts_(installPrompts) {
    library.load();
    if (ownsPrompts_)
        Prompts::setInstance(&prompts_);
    // The windows in their fixed order, main window first.
    formMain = std::make_unique<TformMain>(transport);
    prompts_.setParent(formMain.get());
    // (2) the firmware upgrade window.
    formFirmwareUpgrade = std::make_unique<TformFirmwareUpgrade>(formMain->state(), transport);
    formMain->setFirmwareUpgradeWindow(formFirmwareUpgrade.get());
    formPrint = std::make_unique<TformPrint>(transport);
    formMain->setConsole(formPrint.get());
    formFXParameters = std::make_unique<TformFXParameters>(formMain->state(), transport);
    formMain->setParameterWindow(formFXParameters.get());
    formFXInfo = std::make_unique<tformFXInfo>();
    formMain->setInfoWindow(formFXInfo.get());
    formImpulseResponse = std::make_unique<TformImpulseResponse>();
    formMain->setImpulseResponseWindow(formImpulseResponse.get());
    formNewVersionMsg = std::make_unique<TformNewVersionMsg>();
    formMain->setNewVersionWindow(formNewVersionMsg.get());
    // Closing the main window ends the program, whatever else is open.
    formMain->setAttribute(Qt::WA_QuitOnClose, true);
    formPrint->setAttribute(Qt::WA_QuitOnClose, false);
    formFirmwareUpgrade->setAttribute(Qt::WA_QuitOnClose, false);
    formFXParameters->setAttribute(Qt::WA_QuitOnClose, false);
    formFXInfo->setAttribute(Qt::WA_QuitOnClose, false);
    formNewVersionMsg->setAttribute(Qt::WA_QuitOnClose, false);
    formImpulseResponse->setAttribute(Qt::WA_QuitOnClose, false);
}

KestraApplication::~KestraApplication() {
    formNewVersionMsg.reset();
    formImpulseResponse.reset();
    formFXInfo.reset();
    formFXParameters.reset();
    formPrint.reset();
    formFirmwareUpgrade.reset();
    formMain.reset();
    if (ownsPrompts_)
        Prompts::setInstance(nullptr);
}

void KestraApplication::show() {
    formMain->show();
}

} // namespace kestra
