// The byte ranges this engine locks on a table's files (fcntl open-file-description locks), so that
// several processes can share a table and write it one statement at a time. Every range lies at or past
// 1 GB (0x40000000) of a .dbf, beyond the bytes a locking program ever reads, and is never written.
//
//   file          offset       length       lock and holder
//   .dbf          0x7FFFFFFE   1            read lock: every open that is not exclusive, for as long as
//                                           it is open (an exclusive open write-locks the whole file, so
//                                           the two exclude each other)
//   .dbf          0x40000000   0x3FFFFFFD   write lock: a writer, from before it reads the record count
//                                           until its last byte is written (the range other engines use
//                                           for FoxPro's table lock; it covers FoxPro's record locks at
//                                           0x40000000 + record offset). Read lock: a reader in shared
//                                           use while it reads a page of records, so it never sees a
//                                           half-written record.
//   .dbf          0x7FFFFFFD   1            read lock: a process waiting for the write range, while it
//                                           waits (table_write_lock.h: a writer keeping the range after
//                                           its statement lets it go when it sees one)
//   .fpt          0            1            write lock: the same writer, while it holds the table's range
//   .cdx / .dcx   0x7FFFFFFE   1            write lock: the same writer, while it holds the table's range
//                                           (the ranges other engines use for FoxPro's memo and index
//                                           locks)
//
// The .dbf's write range is what orders this engine's writers; the memo and index ranges keep out
// programs that lock those files alone (the memo's is taken only by a writer that stores memo text). A
// lock not had within kLockWait fails the statement with "File is in use by another user." (108)
// before anything is written.
//
// The writer's stamp: 8 bytes of the .dbf header's reserved area (offset 20, little-endian), which
// FoxPro leaves zero and no reader looks at. A writer that takes its hold and finds there a stamp other
// than the one it last wrote itself (or a record count other than the one it knows) takes in what
// others changed and writes a fresh stamp of its own, before writing anything else. So finding its own
// stamp and count tells a writer that none of this engine's writers has held the table since, and what
// it read and derived before (pages of records, memo read-ahead, value maps) still holds. Programs
// that change records in place without this stamp are seen by the record count only; the record a
// writer changes is always read afresh under the lock, so their changes to it are kept.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace dorvane::provider {

inline constexpr std::uint64_t kOpenMarkOffset = 0x7FFFFFFE;
inline constexpr std::uint64_t kOpenMarkLength = 1;
inline constexpr std::uint64_t kTableLockOffset = 0x40000000;
inline constexpr std::uint64_t kTableLockLength = 0x3FFFFFFD;
inline constexpr std::uint64_t kWaitMarkOffset = 0x7FFFFFFD;
inline constexpr std::uint64_t kWaitMarkLength = 1;
inline constexpr std::uint64_t kMemoLockOffset = 0;
inline constexpr std::uint64_t kMemoLockLength = 1;
inline constexpr std::uint64_t kIndexLockOffset = 0x7FFFFFFE;
inline constexpr std::uint64_t kIndexLockLength = 1;

inline constexpr std::size_t kOffsetWriterStamp = 20;
inline constexpr std::size_t kWriterStampSize = 8;

// How long a writer (or a reader of a page) waits for another process to let go of a range.
inline constexpr std::chrono::milliseconds kLockWait{2000};

}  // namespace dorvane::provider
