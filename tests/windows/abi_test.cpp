// The standard-call ABI between the panel's loader and a 32-bit drive DLL
// built against drive_api.h: what the DLL finds in its argument slots, and
// whether the stack is where it was after each call.
#include <gtest/gtest.h>

#include <cstring>

#include "../support/library_symbol.h"
#include "abi_record.h"
#include "opstation/drive_library.h"

namespace opstation {
namespace {

AbiRecord &freshRecord() {
    AbiRecord &record = *test::librarySymbol<AbiRecordAccess>(OPSTATION_ABI_DRIVE, "abi_record")();
    std::memset(&record, 0, sizeof record);
    return record;
}

TEST(StdcallAbi, InitialiseAndTerminateGetTheStationAsAWhole32BitValue) {
    AbiRecord &record = freshRecord();
    DriveLibrary library(OPSTATION_ABI_DRIVE);
    library.initialise(kStation);
    library.terminate(kStation);
    EXPECT_EQ(record.initialiseSlots[0], 2u);
    EXPECT_NE(record.initialiseSlots[1], 0u);  // the title buffer
    EXPECT_TRUE(record.titleWasNul);
    EXPECT_EQ(record.terminateSlot, 2u);
}

// Every combination of the ten keys, from one call site: the keys arrive in
// order in the low 16 bits of their slots, and the DLL's frame stays put.
TEST(StdcallAbi, DownloadPassesTheTenKeysInOrderAndLeavesTheStackAsItWas) {
    AbiRecord &record = freshRecord();
    DriveLibrary library(OPSTATION_ABI_DRIVE);
    for (int call = 0; call < ABI_MAX_CALLS; ++call) {
        DownloadKeys keys{};
        for (int k = 0; k < 10; ++k) keys[k] = ((call >> k) & 1) != 0 ? -1 : 0;
        library.download(keys);
    }
    ASSERT_EQ(record.downloads, ABI_MAX_CALLS);
    for (int call = 0; call < ABI_MAX_CALLS; ++call) {
        for (int k = 0; k < 10; ++k) {
            const uint16_t expected = ((call >> k) & 1) != 0 ? 0xFFFF : 0;
            ASSERT_EQ(record.downloadSlots[call][k] & 0xFFFF, expected) << "call " << call << " key " << k;
            ASSERT_EQ(static_cast<uint16_t>(record.downloadKeys[call][k]), expected) << "call " << call;
        }
        ASSERT_EQ(record.downloadFrames[call], record.downloadFrames[0]) << "call " << call;
    }
}

TEST(StdcallAbi, UploadPassesTheFourteenWordsThenTwoNulLinesAndLeavesTheStackAsItWas) {
    AbiRecord &record = freshRecord();
    DriveLibrary library(OPSTATION_ABI_DRIVE);
    std::array<int16_t, 14> words{};
    UploadLedWords pointers{};
    for (std::size_t i = 0; i < words.size(); ++i) pointers[i] = &words[i];
    constexpr int kCalls = 200;
    for (int call = 0; call < kCalls; ++call) library.upload(pointers);
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(record.uploadSlots[i], reinterpret_cast<uintptr_t>(&words[i])) << i;
    EXPECT_NE(record.uploadSlots[14], 0u);
    EXPECT_NE(record.uploadSlots[15], 0u);
    EXPECT_NE(record.uploadSlots[14], record.uploadSlots[15]);
    EXPECT_EQ(record.nulLineUploads, kCalls);
    for (int call = 0; call < kCalls; ++call) ASSERT_EQ(record.uploadFrames[call], record.uploadFrames[0]) << call;
}

// Calls opstat_download with the given slots pushed right to left, as the
// standard call does, and returns how many bytes of them the callee left
// on the stack (0 when it removed its arguments, as it must).
uint32_t bytesLeftByDownload(void *download, const uint32_t (&slots)[10]) {
    uint32_t left;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "pushl 36(%[slots])\n\t"
        "pushl 32(%[slots])\n\t"
        "pushl 28(%[slots])\n\t"
        "pushl 24(%[slots])\n\t"
        "pushl 20(%[slots])\n\t"
        "pushl 16(%[slots])\n\t"
        "pushl 12(%[slots])\n\t"
        "pushl 8(%[slots])\n\t"
        "pushl 4(%[slots])\n\t"
        "pushl (%[slots])\n\t"
        "call *%[fn]\n\t"
        "movl %%esi, %[left]\n\t"
        "subl %%esp, %[left]\n\t"
        "movl %%esi, %%esp\n\t"
        : [left] "=&a"(left)
        : [fn] "r"(download), [slots] "r"(slots)
        : "ecx", "edx", "esi", "memory", "cc");
    return left;
}

// A caller may leave anything in the upper halves of the key slots: a DLL
// built against drive_api.h reads only the low 16 bits, and removes all
// forty bytes of arguments itself.
TEST(StdcallAbi, TheDllReadsOnlyTheLow16BitsOfEachKeyAndRemovesItsArguments) {
    AbiRecord &record = freshRecord();
    const auto download = test::librarySymbol<void *>(OPSTATION_ABI_DRIVE, "opstat_download");
    const uint32_t slots[10] = {0xDEADFFFF, 0x12340000, 0xFFFFFFFF, 0x8000FFFF, 0x7FFF0000,
                                0xA5A5FFFF, 0x00010000, 0xFFFE0000, 0x0000FFFF, 0xCAFE0000};
    EXPECT_EQ(bytesLeftByDownload(download, slots), 0u);
    ASSERT_EQ(record.downloads, 1);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(record.downloadSlots[0][k], slots[k]) << k;  // the slots as pushed, right to left
        EXPECT_EQ(static_cast<uint16_t>(record.downloadKeys[0][k]), slots[k] & 0xFFFF) << k;
    }
}

}  // namespace
}  // namespace opstation
