// Raw file-handle routines of the archive library: creating and opening output files, the handle's
// position and size, and its times as packed DOS stamps. Handles are file descriptors; every transfer
// goes through the core file layer (so tests can make a chosen call fail), at the descriptor's own file
// offset, which THandleStream32 shares.
#pragma once

#include <cstdint>
#include <string>

#include "archive/arlStreams.h"

class TZipCommon;

// Creates Name for writing: truncating an existing file, or, with Exclusive, failing when it exists.
// Reports "Error opening file" through the component on failure and answers kInvalidHandle.
THandle OpenOutputFile(TZipCommon* Component, const std::string& Name, bool Exclusive);
// Makes Name writable, opens it for writing and moves to its end; reported and kInvalidHandle on failure.
THandle OpenExistingForAppend(TZipCommon* Component, const std::string& Name);
// open(2) with Flags and Mode; on failure reports "Error opening file" with Name and answers
// kInvalidHandle. Component may be null (no report).
THandle CreateFileChecked(TZipCommon* Component, const std::string& Name, int Flags, int Mode);
// The handle's position; -1 when it cannot be read.
int64_t FilePosition(THandle Handle);
// Moves the position (Method: soBeginning, soCurrent, soEnd); false only when the move fails.
bool SeekFile(THandle Handle, int64_t Distance, int Method);
// The file's size (all 64 bits); 0 when it cannot be read.
int64_t FileSizeOf(THandle Handle);
// The last-write (0), creation (1; the last status change where the file system keeps no birth time)
// or last-access (2) time as a packed DOS date and time in local time; 0 when it cannot be read or lies
// outside the DOS range (1980-2107).
uint32_t FileDosTime(THandle Handle, int Which);
// Reads and writes at the handle's position, moving it; the bytes transferred, -1 on failure.
int32_t FileRead(THandle Handle, void* Buffer, int32_t Count);
int32_t FileWrite(THandle Handle, const void* Buffer, int32_t Count);
// Closes through the file layer; false when the system reports a failure.
bool FileClose(THandle Handle);
// A packed DOS date and time of a Unix time in local time; 0 outside 1980-2107.
uint32_t UnixToDosTime(int64_t Seconds);
