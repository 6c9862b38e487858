// One running copy per user: a lock file in the user's runtime directory, held for the
// whole run. A copy that finds it held tells the operator and ends.
#pragma once

#include <QLockFile>
#include <QString>

#include "core/ui.h"

namespace tqv {

class SingleInstance {
  public:
    // `directory`: where the lock lives (the runtime directory unless a test says otherwise).
    explicit SingleInstance(const QString& directory = default_directory());

    static QString default_directory();

    // Takes the lock; when another copy holds it, shows "２重に起動はできません" and returns
    // false.
    bool acquire(Ui& ui);

  private:
    QLockFile lock_;
};

}  // namespace tqv
