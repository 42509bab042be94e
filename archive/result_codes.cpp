#include "result_codes.h"

int32_t g_lastReadResult = RESULT_OK;
int32_t g_lastWriteResult = RESULT_OK;
