#include "traditional_crypto.h"

#include <zlib.h>

namespace {

// One step of the reflected CRC-32 without the usual pre- and post-inversion.
uint32_t CrcStep(uint32_t value, uint8_t byte)
{
    static const z_crc_t* table = get_crc_table();
    return (value >> 8) ^ static_cast<uint32_t>(table[(value ^ byte) & 0xFF]);
}

}  // namespace

void InitialiseKeys(CipherKeys* keys, const char* password)
{
    keys->key[0] = 0x12345678;
    keys->key[1] = 0x23456789;
    keys->key[2] = 0x34567890;
    if (password == nullptr) {
        return;
    }
    for (const char* p = password; *p != '\0'; ++p) {
        UpdateKeys(keys, static_cast<uint8_t>(*p));
    }
}

void UpdateKeys(CipherKeys* keys, uint8_t plainByte)
{
    keys->key[0] = CrcStep(keys->key[0], plainByte);
    keys->key[1] = (keys->key[1] + (keys->key[0] & 0xFF)) * 134775813u + 1;
    keys->key[2] = CrcStep(keys->key[2], static_cast<uint8_t>(keys->key[1] >> 24));
}

uint8_t DecryptByte(CipherKeys* keys, uint8_t cipherByte)
{
    uint32_t t = (keys->key[2] & 0xFFFF) | 2;
    uint8_t keyStream = static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
    uint8_t plainByte = cipherByte ^ keyStream;
    UpdateKeys(keys, plainByte);
    return plainByte;
}
