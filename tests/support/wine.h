// Whether the tests run under Wine, whose runtime is laxer than Windows' in a
// few places the tests pin (double-byte substring search, date validation).
#pragma once

bool RunningUnderWine();
