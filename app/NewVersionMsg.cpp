#include "app/NewVersionMsg.h"

#include "app/Updater.h"
#include "app/widgets/Accessible.h"
#include "core/MakerSite.h"
#include "core/Prompts.h"
#include "core/Settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestra {

TformNewVersionMsg::TformNewVersionMsg(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("formNewVersionMsg"));
    setWindowTitle(QStringLiteral("New Version"));

    Label1 = new QLabel(this);
    Label2 = new QLabel(this);
    CheckBox1 = named(new QCheckBox(QStringLiteral("Don't Show This Message Again"), this),
                      QStringLiteral("Don't Show This Message Again"));
    btnLaunchUpdate =
        named(new QPushButton(QStringLiteral("Update Now"), this), QStringLiteral("Update Now"));
    btnSeeWhatsNew =
        named(new QPushButton(QStringLiteral("What's New?"), this), QStringLiteral("What's New?"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSeeWhatsNew);
    buttons->addStretch();
    buttons->addWidget(btnLaunchUpdate);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(8);
    layout->addWidget(CheckBox1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(CheckBox1, &QCheckBox::toggled, this, &TformNewVersionMsg::CheckBox1Change);
    connect(btnLaunchUpdate, &QPushButton::clicked, this,
            &TformNewVersionMsg::btnLaunchUpdateClick);
    connect(btnSeeWhatsNew, &QPushButton::clicked, this, &TformNewVersionMsg::btnSeeWhatsNewClick);
}

void TformNewVersionMsg::showEvent(QShowEvent* event) {
    FormShow();
    QWidget::showEvent(event);
}

void TformNewVersionMsg::FormShow() {
    Label1->setText(QStringLiteral("A new version of the Kestra Editor is available"));
    Label2->setText(QStringLiteral("Your version: ") + currentAppVersion +
                    QStringLiteral("     New version: ") + newAppVersion);
}

void TformNewVersionMsg::CheckBox1Change(bool checked) {
    // The choice applies from the next start; this run keeps its setting.
    if (!checked)
        return;
    const QString error = settings::rememberStartupMessageChoice(false);
    if (!error.isEmpty())
        Prompts::instance().error(
            settings::saveErrorMessage(settings::startupMessageFile(), error));
}

void TformNewVersionMsg::btnLaunchUpdateClick() {
    launchUpdater();
}

void TformNewVersionMsg::btnSeeWhatsNewClick() {
    OpenURL(makerPage(QString::fromLatin1(makerpaths::WhatsNew)));
}

} // namespace kestra
