// Putting a written temporary in place of its target, while the old target
// stays whole under a name of the updater's own until the run commits or
// undoes: the target is the old file or the whole new one at every moment,
// but for a running program, which Windows lets be renamed and never
// replaced, so that its name is empty for the moment between its two moves.
#pragma once

#include <cstdint>

#include "in_use_waits.h"
#include "update_journal.h"

// Puts `change.temporary` in place of `change.target` as the undo record
// says it will (the record comes first). RESULT_NO_FILE when the new file
// cannot go in; what was done so far is for the undo. Targets someone holds
// are waited for within `budget`.
int32_t ReplaceTarget(const FileUpdate& change, WaitBudget* budget);
