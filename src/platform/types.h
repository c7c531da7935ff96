// Windows' own numbers, spelled once, so that the logic and the in-memory machine
// can speak them without <windows.h>.
#pragma once

#include <cstdint>

namespace cvp {

using Dword = std::uint32_t;
using Long = std::int32_t;

// Fixed text buffers of the purger: names, paths, patterns, captions.
constexpr int kTextSize = 260;

// Root keys the purger names registry paths under.
enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// Win32 error codes the purger tests for.
constexpr Long kErrorSuccess = 0;
constexpr Long kErrorFileNotFound = 2;
constexpr Long kErrorPathNotFound = 3;
constexpr Long kErrorAccessDenied = 5;
constexpr Long kErrorInvalidHandle = 6;
constexpr Long kErrorNotEnoughMemory = 8;
constexpr Long kErrorInvalidParameter = 87;
constexpr Long kErrorInsufficientBuffer = 122;
constexpr Long kErrorMoreData = 234;
constexpr Long kErrorNoMoreItems = 259;
constexpr Long kErrorNoMoreFiles = 18;
constexpr Long kErrorFileExists = 80;
constexpr Long kErrorAlreadyExists = 183;
constexpr Long kErrorNoSuchDevinst = static_cast<Long>(0xE000020B);

// CONFIGRET of the device calls: CR_SUCCESS, CR_FAILURE.
constexpr Dword kConfigRetSuccess = 0;
constexpr Dword kConfigRetFailure = 0x13;

// Registry value types.
constexpr Dword kRegNone = 0;
constexpr Dword kRegSz = 1;
constexpr Dword kRegExpandSz = 2;
constexpr Dword kRegBinary = 3;
constexpr Dword kRegDword = 4;
constexpr Dword kRegDwordBigEndian = 5;
constexpr Dword kRegLink = 6;
constexpr Dword kRegMultiSz = 7;
constexpr Dword kRegQword = 11;

// What RegCreateKeyExA did (REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY).
constexpr Dword kRegCreatedNewKey = 1;
constexpr Dword kRegOpenedExistingKey = 2;

// Registry access masks.
constexpr Dword kKeyQueryValue = 0x0001;
constexpr Dword kKeySetValue = 0x0002;
constexpr Dword kKeyCreateSubKey = 0x0004;
constexpr Dword kKeyEnumerateSubKeys = 0x0008;
constexpr Dword kKeyNotify = 0x0010;
constexpr Dword kKeyCreateLink = 0x0020;
constexpr Dword kDelete = 0x00010000;
constexpr Dword kReadControl = 0x00020000;
constexpr Dword kWriteDac = 0x00040000;
constexpr Dword kWriteOwner = 0x00080000;
constexpr Dword kKeyRead = 0x20019;
constexpr Dword kKeyWrite = 0x20006;
constexpr Dword kKeyAllAccess = 0xF003F;
constexpr Dword kGenericAll = 0x10000000;
constexpr Dword kGenericExecute = 0x20000000;
constexpr Dword kGenericWrite = 0x40000000;
constexpr Dword kGenericRead = 0x80000000;

// SECURITY_INFORMATION: what a security call reads or writes.
constexpr Dword kDaclSecurityInformation = 0x00000004;
constexpr Dword kProtectedDaclSecurityInformation = 0x80000000;
constexpr Dword kUnprotectedDaclSecurityInformation = 0x20000000;

// CreateFileA: access, sharing, disposition and flags.
constexpr Dword kFileAppendData = 0x0004;
constexpr Dword kFileShareRead = 0x00000001;
constexpr Dword kCreateNew = 1;
constexpr Dword kOpenExisting = 3;
constexpr Dword kOpenAlways = 4;
constexpr Dword kFileFlagOpenReparsePoint = 0x00200000;

// File attributes.
constexpr Dword kAttrReadOnly = 0x01;
constexpr Dword kAttrHidden = 0x02;
constexpr Dword kAttrSystem = 0x04;
constexpr Dword kAttrDirectory = 0x10;
constexpr Dword kAttrArchive = 0x20;
constexpr Dword kAttrNormal = 0x80;
constexpr Dword kAttrReparsePoint = 0x400;
constexpr Dword kInvalidAttributes = 0xFFFFFFFF;

// Device registry properties (SPDRP_*).
constexpr Dword kPropertyDeviceDesc = 0;
constexpr Dword kPropertyHardwareId = 1;

// Operating system platforms (VER_PLATFORM_*).
constexpr Dword kPlatformWin32Windows = 1;
constexpr Dword kPlatformWin32Nt = 2;

}  // namespace cvp
