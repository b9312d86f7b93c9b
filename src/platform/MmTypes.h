#pragma once
// Result codes and handle types of the multimedia services, kept as the window code relies on them.
#include <cstdint>

namespace parlet {

using MMRESULT = std::uint32_t;
using HMIDIIN = std::int32_t;   // 0 = no input open
using HMIDISTRM = std::int32_t; // 0 = no stream open

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;

inline constexpr std::uint32_t CALLBACK_FUNCTION = 0x30000;
inline constexpr std::uint32_t MIM_OPEN = 0x3C1;
inline constexpr std::uint32_t MIM_CLOSE = 0x3C2;
inline constexpr std::uint32_t MIM_DATA = 0x3C3;

inline constexpr int MIDI_MAPPER = -1;

} // namespace parlet
