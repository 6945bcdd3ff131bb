#include "ui/NewVersionDialog.h"

#include "core/Dialogs.h"
#include "core/MakerSite.h"
#include "core/Settings.h"
#include "ui/Updater.h"
#include "ui/widgets/Accessible.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestra {

NewVersionDialog::NewVersionDialog(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("newVersionDialog"));
    setWindowTitle(QStringLiteral("New Version"));

    headline_ = new QLabel(this);
    versions_ = new QLabel(this);
    dontShowAgain_ = named(new QCheckBox(QStringLiteral("Don't Show This Message Again"), this),
                           QStringLiteral("Don't Show This Message Again"));
    auto* update =
        named(new QPushButton(QStringLiteral("Update Now"), this), QStringLiteral("Update Now"));
    auto* whatsNew =
        named(new QPushButton(QStringLiteral("What's New?"), this), QStringLiteral("What's New?"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(whatsNew);
    buttons->addStretch();
    buttons->addWidget(update);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headline_);
    layout->addWidget(versions_);
    layout->addSpacing(8);
    layout->addWidget(dontShowAgain_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(dontShowAgain_, &QCheckBox::toggled, this, &NewVersionDialog::onDontShowAgainToggled);
    connect(update, &QPushButton::clicked, this, &NewVersionDialog::updateRequested);
    connect(whatsNew, &QPushButton::clicked, this,
            [] { openInBrowser(makerPage(QString::fromLatin1(makerpaths::WhatsNew))); });
}

void NewVersionDialog::showVersions(const QString& currentVersion, const QString& newVersion) {
    headline_->setText(QStringLiteral("A new version of the Kestra Editor is available"));
    versions_->setText(QStringLiteral("Your version: ") + currentVersion +
                       QStringLiteral("     New version: ") + newVersion);
    show();
}

void NewVersionDialog::onDontShowAgainToggled(bool checked) {
    // The choice applies from the next start; this run keeps its setting.
    if (!checked)
        return;
    const QString error = settings::rememberStartupMessageChoice(false);
    if (!error.isEmpty())
        Dialogs::instance().error(
            settings::saveErrorMessage(settings::startupMessageFile(), error));
}

} // namespace kestra
