#pragma once
// Character sets of the hex editor's character column: the translation between the
// stored bytes and the ANSI characters the screen, keyboard and host work in.
//
// ANSI stands for Windows-1252, the OEM code page for code page 437. The conversion
// between those two is made reversible on purpose (see Translation.cpp), so that
// converting a range there and back never loses a byte.
#include <cstdint>

enum TTranslationType : uint8_t { ttAnsi = 0, ttDos8 = 1, ttASCII = 2, ttMac = 3, ttEBCDIC = 4 };

// Entry i is the Latin-1 code of Macintosh code 128 + i.
extern const uint8_t ctMacToISO[128];
// Entry i is the Macintosh code of Latin-1 code 128 + i; the exact inverse of ctMacToISO.
extern const uint8_t ctISOToMac[128];
// EBCDIC code -> Latin-1 code, 0 where there is no equivalent.
extern const uint8_t ctEBCDICToISO[256];
// Latin-1 code -> EBCDIC code, 0 where there is no equivalent.
extern const uint8_t ctISOToEBCDIC[256];

// OEM (code page 437) <-> ANSI (Windows-1252), one byte. Codes 0..127 are unchanged;
// every byte round-trips in both directions.
uint8_t OemToAnsiChar(uint8_t c);
uint8_t AnsiToOemChar(uint8_t c);
// Buffer forms; source and dest may be the same buffer. count <= 0 does nothing.
void OemToAnsiBuffer(const uint8_t* source, uint8_t* dest, int32_t count);
void AnsiToOemBuffer(const uint8_t* source, uint8_t* dest, int32_t count);

// The Unicode character of an ANSI (Windows-1252) byte; undefined bytes map to themselves.
char16_t UnicodeFromWindows1252(uint8_t ch);
// The ANSI byte of a Unicode character, or -1 when the code page has none.
int Windows1252FromUnicode(char16_t c);

// Lower-casing of 8-bit ANSI characters by the Windows-1252 rules: A-Z, 0x8A, 0x8C,
// 0x8E, 0x9F (to 0xFF) and 0xC0-0xDE except 0xD7.
uint8_t AnsiLowerChar(uint8_t c);
// In place; count <= 0 does nothing.
void AnsiLowerBuffer(uint8_t* buffer, int32_t count);
// Lower-cases count bytes of source into dest (they may be the same buffer).
void AnsiLowerCopy(const uint8_t* source, uint8_t* dest, int32_t count);

// Whole-buffer translation of stored bytes to ANSI and back. Never masks or refuses a
// byte; source may equal dest; count <= 0 does nothing; an unknown type writes nothing.
void TranslateBufferToAnsi(TTranslationType type, const uint8_t* source, uint8_t* dest, int32_t count);
void TranslateBufferFromAnsi(TTranslationType type, const uint8_t* source, uint8_t* dest, int32_t count);

// The ANSI character drawn for the stored byte b; maskChar for a byte that has no
// character in the given set.
uint8_t TranslateToAnsiChar(TTranslationType type, uint8_t maskChar, uint8_t b);
// The byte stored for the typed ANSI character c; 0 means the character is refused.
uint8_t TranslateFromAnsiChar(TTranslationType type, uint8_t c);
