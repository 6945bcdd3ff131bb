// A feature of the main window (the link, the catalogue, the pedal's
// operations, files, firmware, looks, the update check). It owns its
// actions and controls, talks to the pedal session, adds what it knows to
// the situation the enabled states derive from, and applies the states that
// concern it. The main window puts the features' entries into its menus and
// asks every feature again whenever one says its situation changed.
#pragma once

#include "session/PedalSession.h"
#include "ui/EnabledStates.h"

#include <QObject>
#include <functional>
#include <optional>

namespace kestra {

class FeatureController : public QObject {
    Q_OBJECT

public:
    FeatureController(PedalSession& session, QObject* parent)
        : QObject(parent), session_(session) {}

    virtual void addSituation(EditorSituation& situation) const { (void)situation; }
    virtual void applyEnabledStates(const EnabledStates& enabled) = 0;

signals:
    // Something that enabled states derive from changed.
    void situationChanged();
    // What an action did, for the status line: success is said there, never
    // in a dialog that stops the player.
    void statusMessage(const QString& text);

protected:
    // Shows a session's outcome: failures as errors, notes on success in
    // the status line.
    void report(const SessionResult& result);
    SessionDone reporter() {
        return [this](const SessionResult& result) { report(result); };
    }

    PedalSession& session_;
};
// Whether the editor may end now, as closing it asks; why it may not is
// shown. then runs once edits the player chose to store are stored.
bool mayEnd(PedalSession& session, std::function<void()> then);

// The settings files the features keep: a file that cannot be written is
// told; one that cannot be read is logged and its default stays.
void reportSaveError(const QString& path, const QString& error);
std::optional<QString> readSetting(const QString& path);
void createSettingIfMissing(const QString& path, const QString& text);

} // namespace kestra
