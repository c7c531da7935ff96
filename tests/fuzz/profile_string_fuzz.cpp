// The profile-string reader (GetPrivateProfileStringA as the memory machine answers
// it) with the file's bytes, the section, the key, the default and the buffer size all
// taken from the input. The buffer is exactly as large as claimed, so AddressSanitizer
// sees any write past it; the answer must be terminated at the length the call
// returns, inside the buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "platform/memory/memory_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(300);
    const std::string key = input.ConsumeRandomLengthString(300);
    const std::string fallback = input.ConsumeRandomLengthString(300);
    const unsigned bufferSize = input.ConsumeIntegralInRange<unsigned>(0, 600);
    const unsigned nulls = input.ConsumeIntegralInRange<unsigned>(0, 7);
    const std::string content = input.ConsumeRemainingBytesAsString();

    cvp::MemoryMachine machine;
    machine.AddFile("C:\\windows\\inf\\oem1.inf", content);
    // Each name once by full path and once by bare name (the Windows directory).
    machine.AddFile("C:\\windows\\system.ini", content);
    const char* files[] = {"C:\\windows\\inf\\oem1.inf", "system.ini", "C:\\windows\\missing.ini"};

    for (const char* file : files) {
        std::unique_ptr<char[]> buffer(bufferSize == 0 ? nullptr : new char[bufferSize]);
        if (buffer) std::memset(buffer.get(), 'x', bufferSize);
        const char* sectionArg = (nulls & 1) ? nullptr : section.c_str();
        const char* keyArg = (nulls & 2) ? nullptr : key.c_str();
        const char* fallbackArg = (nulls & 4) ? nullptr : fallback.c_str();
        const cvp::Dword length = machine.ReadProfileString(sectionArg, keyArg, fallbackArg,
                                                            buffer.get(), bufferSize, file);
        if (bufferSize == 0) {
            FUZZ_CHECK(length == 0, "a zero-size buffer was answered with text");
            continue;
        }
        FUZZ_CHECK(length < bufferSize, "the answer's length reaches past the buffer");
        FUZZ_CHECK(buffer[length] == '\0', "the answer is not terminated at its length");
    }
    return 0;
}
