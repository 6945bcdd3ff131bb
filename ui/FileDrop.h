// Files dropped on the editor's windows: a WAV file loads as Load IR does, a
// preset file as Load Configuration does, a backup offers Restore as
// Restore from Backup does. The same steps run as from the menus; anything
// else is refused with what can be dropped.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace kestra {

class FileDrop : public QObject {
    Q_OBJECT

public:
    enum class Kind { ImpulseResponse, Configuration, Backup, Other };
    struct Actions {
        std::function<void(const QString& path)> loadImpulseResponse;
        std::function<void(const QString& path)> loadConfiguration;
        std::function<void(const QString& path)> restoreBackup;
    };

    explicit FileDrop(Actions actions, QObject* parent = nullptr);

    // Files dropped on window (and on its controls) come here.
    void watch(QWidget* window);
    // What a file is by its name.
    static Kind kindOf(const QString& path);
    // The dropped files: the one file is taken, or why not is told.
    void take(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Actions actions_;
};

} // namespace kestra
