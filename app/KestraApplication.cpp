#include "app/KestraApplication.h"

namespace kestra {

KestraApplication::KestraApplication(bool installPrompts) : ownsPrompts_(installPrompts) {
    library.load();
    if (ownsPrompts_)
        Prompts::setInstance(&prompts_);
    formMain = std::make_unique<TformMain>(transport);
    prompts_.setParent(formMain.get());
    formPrint = std::make_unique<TformPrint>(transport);
    formMain->setConsole(formPrint.get());
    // Closing the main window ends the program, whatever else is open.
    formMain->setAttribute(Qt::WA_QuitOnClose, true);
    formPrint->setAttribute(Qt::WA_QuitOnClose, false);
}

KestraApplication::~KestraApplication() {
    formPrint.reset();
    formMain.reset();
    if (ownsPrompts_)
        Prompts::setInstance(nullptr);
}

void KestraApplication::show() {
    formMain->show();
}

} // namespace kestra
