// One running copy per user: a lock file in the user's runtime directory, held for the
// whole run. A later start with a file (a double click in the file manager) hands the file
// to the running copy through a local socket beside the lock; a later start without one is
// told and ends.
#pragma once

#include <QLockFile>
#include <QString>
#include <functional>

#include "core/ui.h"

class QLocalServer;

namespace tqv {

class SingleInstance {
  public:
    // `directory`: where the lock lives (the runtime directory unless a test says otherwise).
    explicit SingleInstance(const QString& directory = default_directory());
    ~SingleInstance();

    static QString default_directory();

    // Takes the lock. When another copy holds it: `file`, when given, is handed to that
    // copy, and otherwise (or when the copy does not take it) "２重に起動はできません" is
    // shown; false either way.
    bool acquire(Ui& ui, const QString& file = {});

    // The copy holding the lock: every file a later start hands over goes to `open` (on the
    // event loop, after the later start has been answered). False when the socket cannot
    // be made; the program runs on without it.
    bool accept_files(std::function<void(const QString&)> open);

  private:
    bool hand_over(const QString& file) const;

    QString socket_path_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace tqv
