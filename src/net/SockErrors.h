// Socket error numbers: the program's error table and the mapping of POSIX errno values onto it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sockerrors {

// The English text of a socket error number, or nullptr when the table has no row for it (0
// included).
const char* LookUp(std::uint16_t Number);
// Number of rows in the table (the final "Unrecognized error code" row included).
std::size_t TableSize();
// The program's socket error number for a POSIX errno value (ECONNREFUSED -> 10061, ...).
std::uint16_t FromErrno(int Errno);

// Errors of the host lookup, in the same numbering.
constexpr std::uint16_t HostNotFound = 11001;
constexpr std::uint16_t TryAgain = 11002;
constexpr std::uint16_t NoRecovery = 11003;
constexpr std::uint16_t NoData = 11004;

} // namespace sockerrors
