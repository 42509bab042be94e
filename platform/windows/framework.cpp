// The framework stand-in on Windows: the shared application-object code, with
// user32's MessageBoxA showing the question box (no owner window, the GBK text
// passed unchanged, the application title as caption, MB_ICONQUESTION added
// to MB_YESNO).
#include "../framework_app.inl"
