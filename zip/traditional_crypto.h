// The traditional PKWARE stream cipher of the ZIP format.
#pragma once

#include <cstdint>

struct CipherKeys {
    uint32_t key[3];
};

void InitialiseKeys(CipherKeys* keys, const char* password);
void UpdateKeys(CipherKeys* keys, uint8_t plainByte);
uint8_t DecryptByte(CipherKeys* keys, uint8_t cipherByte);
