// The conversion between the 16-bit parameter layouts of the WinHLLAPI
// entries (and of ordinal 116) and the 32-bit layouts of the per-thread
// EHLLAPI entry: 16-bit function, length and return-code words become 32-bit
// ones, and the packed data strings of the converted functions become the
// 32-bit strings, in which a session short name is followed by three
// reserved bytes and handles take 8 bytes.
//
// A failed check raises a CompatFault with a small code; the entries catch it
// (and everything else) and turn it into return codes, so nothing thrown here
// leaves an exported entry. Any thread may convert; a record belongs to one
// call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace trv::compat {

// The internal failure codes of the compatibility entries.
enum class FaultCode : int {
    not_a_window = 1,       // asynchronous call: the window is not a window
    no_message_mode = 2,    // asynchronous call: the function has no message form
    no_task_handle = 4,     // asynchronous call: no worker could be started
    data_too_short = 5,     // caller length below the function's minimum
    null_return_code = 6,   // the return-code pointer is missing
    null_word = 7,          // function or length pointer missing, or no memory
};

struct CompatFault {
    FaultCode code;
};

// Size of the converted data string of every converted function but 10.
constexpr std::size_t kLocalDataSize = 104;

// The 32-bit EHLLAPI entry a conversion hands its converted call to: the
// per-thread entry in the library, a recording double in tests.
using EHLLAPIEntry = std::int32_t (*)(std::int32_t* function, char* data, std::int32_t* length,
                                      std::int32_t* returnCode);

// One call's conversion record.
struct ConversionRecord {
    std::uint32_t function = 0;      // the caller's function word
    std::uint32_t callerLength = 0;  // the caller's length word
    std::uint32_t returnCode = 0;    // in: the caller's return-code word; out: the result
    std::uint8_t* callerData = nullptr;
    std::uint32_t length = 0;        // the length handed to the EHLLAPI entry
    std::uint32_t direction = 0;     // 0 converting in, 1 converting out
    std::uint32_t entryCount = 0;    // function 10: entries the caller's buffer holds
    std::unique_ptr<std::uint8_t[]> allocatedData;  // function 10: the converted string
    std::uint8_t localData[kLocalDataSize] = {};    // the converted string of the others
    std::uint8_t* dataInUse = nullptr;              // the string handed to the entry
};

// Converts the caller's words and data string into `record`. Throws
// CompatFault: null_return_code when `returnCode` is null, null_word when
// `function` or `length` is, data_too_short (after setting record.returnCode
// to 2) when the caller's length is below what the function's layout needs,
// null_word when the converted string of function 10 cannot be allocated.
void ConvertIn(ConversionRecord& record, std::uint16_t* function, std::uint8_t* data,
               std::uint16_t* length, std::uint16_t* returnCode);

// Converts the results back into the caller's data string and writes the
// record's function, caller length and return code into the caller's words.
// The same pointer checks as ConvertIn.
void ConvertOut(ConversionRecord& record, std::uint16_t* function, std::uint8_t* data,
                std::uint16_t* length, std::uint16_t* returnCode);

// Runs the converted call on `entry` with the record's words and data in use.
std::int32_t CallConverted(ConversionRecord& record, EHLLAPIEntry entry);

// Convert in, call `entry`, convert out. Answers the caller's return-code
// word; failures answer as the WinHLLAPI synchronous call does: a short data
// string 2 (also in the word), a missing return-code pointer 2 (after the
// "Invalid Return Code Pointer" message box), anything else 9 (also in the
// word when there is one). Never throws.
std::int32_t ConvertedCall(EHLLAPIEntry entry, std::uint16_t* function, std::uint8_t* data,
                           std::uint16_t* length, std::uint16_t* returnCode) noexcept;

// The message box of a missing return-code pointer.
void ShowInvalidReturnCodePointerBox();

}  // namespace trv::compat
