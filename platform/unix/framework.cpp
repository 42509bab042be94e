// The framework stand-in on Linux: the shared application-object code, with
// MessageBoxA from message_box.cpp (zenity or the terminal).
#include "../framework_app.inl"
