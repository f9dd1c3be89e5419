#pragma once

#include <cstdint>

// The TI-83 Plus OS's addresses a program run from the home screen may use:
// RAM locations and system calls, as TI's include file for the TI-83 Plus
// (ti83plus.inc, 05/07/2007) defines them. Every model of the family keeps
// them. Each address the emulator knows is here and nowhere else.
namespace zoetra::calc {

namespace ram {
inline constexpr std::uint16_t CurRow = 0x844B;
inline constexpr std::uint16_t CurCol = 0x844C;
inline constexpr std::uint16_t Op1 = 0x8478;  // OP1 to OP6: 11 bytes each
inline constexpr std::uint16_t OpRegisterBytes = 6 * 11;
inline constexpr std::uint16_t TextShadow = 0x8508;  // 8 rows of 16 characters
inline constexpr std::uint16_t TextShadowBytes = 128;
inline constexpr std::uint16_t SaveSScreen = 0x86EC;  // 768 bytes
inline constexpr std::uint16_t Flags = 0x89F0;        // IY points here
inline constexpr std::uint16_t StatVars = 0x8A3A;
inline constexpr std::uint16_t StatVarsBytes = 531;
inline constexpr std::uint16_t PlotSScreen = 0x9340;  // 768 bytes
inline constexpr std::uint16_t PTemp = 0x982E;        // the VAT's lower end
inline constexpr std::uint16_t ProgPtr = 0x9830;      // where programs and AppVars start in the VAT
inline constexpr std::uint16_t AppBackUpScreen = 0x9872;  // 768 bytes
inline constexpr std::uint16_t UserMem = 0x9D95;
inline constexpr std::uint16_t SymTable = 0xFE66;  // the VAT grows down from here
}  // namespace ram

// Offsets from the flags base (IY) and their bits.
namespace flag {
inline constexpr std::uint8_t GraphFlags = 0x03;  // bit 0: graphDraw
inline constexpr std::uint8_t ApdFlags = 0x08;
inline constexpr std::uint8_t ApdAble = 2;
}  // namespace flag

// Variable types.
inline constexpr std::uint8_t ProgObj = 0x05;
inline constexpr std::uint8_t ProtProgObj = 0x06;
inline constexpr std::uint8_t AppVarObj = 0x15;

// The system calls the emulator knows (rst 28h followed by the address).
namespace bcall {
inline constexpr std::uint16_t GetCSC = 0x4018;
inline constexpr std::uint16_t Mov9ToOP1 = 0x417A;
inline constexpr std::uint16_t ChkFindSym = 0x42F1;
inline constexpr std::uint16_t FindSym = 0x42F4;
inline constexpr std::uint16_t PutC = 0x4504;
inline constexpr std::uint16_t DispHL = 0x4507;
inline constexpr std::uint16_t PutS = 0x450A;
inline constexpr std::uint16_t NewLine = 0x452E;
inline constexpr std::uint16_t ClrLCDFull = 0x4540;
inline constexpr std::uint16_t ClrScrnFull = 0x4546;
inline constexpr std::uint16_t HomeUp = 0x4558;
inline constexpr std::uint16_t RunIndicOn = 0x456D;
inline constexpr std::uint16_t RunIndicOff = 0x4570;
inline constexpr std::uint16_t GrBufCpy = 0x486A;
inline constexpr std::uint16_t GetKey = 0x4972;
inline constexpr std::uint16_t GrBufClr = 0x4BD0;
inline constexpr std::uint16_t DisableApd = 0x4C84;
inline constexpr std::uint16_t EnableApd = 0x4C87;
inline constexpr std::uint16_t FlashToRam = 0x5017;
inline constexpr std::uint16_t LoadDEIndPaged = 0x501A;
inline constexpr std::uint16_t LoadCIndPaged = 0x501D;
}  // namespace bcall

// A plain call into page 0: waits the LCD driver's 10 us.
inline constexpr std::uint16_t LcdBusyQuick = 0x000B;

}  // namespace zoetra::calc
