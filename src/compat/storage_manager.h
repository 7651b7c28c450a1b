// The storage manager of function 17 for the WinHLLAPI synchronous call: a
// pool of memory blocks in the calling process, one pool per process, made by
// the first request and destroyed when the library detaches.
//
// Every block's memory lies below 4 GB, so the 4-byte address that get
// storage hands the caller is the block's true address, usable as it is by a
// 64-bit caller (zero-extended). Requests of several threads are serialised
// by the pool's named mutex "QZRVT<instance>"; making and destroying the pool
// are serialised within the process.
#pragma once

#include <cstdint>

namespace trv::compat {

// Storage-manager requests, carried in the return-code word.
constexpr std::uint16_t kGetStorage = 1;
constexpr std::uint16_t kFreeStorage = 2;
constexpr std::uint16_t kQueryFreeStorage = 3;
constexpr std::uint16_t kFreeAllStorage = 4;

// Size of the one free block of a new pool.
constexpr std::uint16_t kPoolSize = 65535;

// Serves one request. Get storage: `length` is the size wanted; answers the
// block's address in data bytes 0..3 (little-endian), its id in `length` and
// code 0, or address 0, id 0 and code 1 when no block fits (or the size is
// 0); a null `data` answers 2 and takes nothing. Free storage: `length` is
// the id; 0, or 2 when no block has it. Query free storage: the size of the
// one free block left after merging in `length`, 0; on a failed merge 0 and
// 1. Free all: 0. Other requests change nothing. When the pool cannot be
// made, or its mutex not taken, the code is 9. The code goes to
// `returnCode`. `length` and `returnCode` must not be null.
void ServeStorageRequest(std::uint8_t* data, std::uint16_t* length, std::uint16_t* returnCode);

// Destroys the process's pool, its blocks and its mutex (process detach).
void DestroyStoragePool();

}  // namespace trv::compat
