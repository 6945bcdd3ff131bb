// Everything that lives from start to end of the program: the bound D2XX
// library, the transport, the prompts and the windows, created in order.
#pragma once

#include "app/NewVersionMsg.h"
#include "app/TformMain.h"
#include "app/WidgetPrompts.h"
#include "console/PrintConsole.h"
#include "editor/TformFXParameters.h"
#include "firmware/FirmwareUpgrade.h"
#include "ir/ImpulseResponse.h"
#include "operations/FXInfo.h"
#include "port/D2XXUnit.h"
#include "port/D2xxLibrary.h"

#include <memory>

namespace kestra {

class KestraApplication {
public:
    // With installPrompts false the caller keeps its own prompts (tests).
    explicit KestraApplication(bool installPrompts = true);
    ~KestraApplication();

    void show();

    D2xxLibrary library;
    D2XXUnit transport{library};
    std::unique_ptr<TformMain> formMain;
    std::unique_ptr<TformFirmwareUpgrade> formFirmwareUpgrade;
    std::unique_ptr<TformPrint> formPrint;
    std::unique_ptr<TformFXParameters> formFXParameters;
    std::unique_ptr<tformFXInfo> formFXInfo;
    std::unique_ptr<TformNewVersionMsg> formNewVersionMsg;
    std::unique_ptr<TformImpulseResponse> formImpulseResponse;

private:
    WidgetPrompts prompts_;
    bool ownsPrompts_;
};

} // namespace kestra
