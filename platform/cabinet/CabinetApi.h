// The contract of cabinet.so, our cabinet-decompression library, as the archive layer binds it at run
// time: four entry points (FDICreate, FDIIsCabinet, FDICopy, FDIDestroy), the records they fill, the
// notifications a copy sends, and the error numbers a failed call leaves in the error record.
//
// The library keeps no state of its own between calls: a context made by FDICreate holds the caller's
// memory and file routines, and every file it touches is opened, read, sought and closed through them.
// Decoded data leaves only through the caller's write routine, on the handle that the copy-file
// notification answered; the caller closes that handle when the close-file notification arrives.
//
// All records are plain C structures; strings are NUL-terminated and belong to the library for the
// duration of the notification that carries them. A context is used by one thread at a time.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The caller's memory routines. A block the library got from CabAlloc goes back through CabFree.
typedef void* (*TCabAlloc)(uint32_t Size);
typedef void (*TCabFree)(void* Block);
// The caller's file routines. Open answers a handle or -1; Read and Write the bytes moved (a short
// count is a failure); Close 0 on success; Seek the new position or -1 (Origin 0 start, 1 current,
// 2 end).
typedef intptr_t (*TCabOpen)(const char* Name, int32_t OpenFlags, int32_t Permission);
typedef uint32_t (*TCabRead)(intptr_t Handle, void* Buffer, uint32_t Count);
typedef uint32_t (*TCabWrite)(intptr_t Handle, const void* Buffer, uint32_t Count);
typedef int32_t (*TCabClose)(intptr_t Handle);
typedef int64_t (*TCabSeek)(intptr_t Handle, int64_t Distance, int32_t Origin);

// Open flags the library passes: read only, binary. (Output files are the caller's own.)
#define CAB_OPEN_READ 0x0000
#define CAB_OPEN_BINARY 0x8000

// The error record a context fills when a call fails.
typedef struct {
  int32_t OperationCode;  // one of the CAB_ERROR_ numbers
  int32_t ErrorType;      // the decompressor's own detail (0 when none)
  int32_t ErrorFlag;      // non-zero when the last call failed
} TCabErrorRecord;

// Error numbers of the error record.
enum {
  CAB_ERROR_NONE = 0,
  CAB_ERROR_CABINET_NOT_FOUND = 1,  // the cabinet file could not be opened
  CAB_ERROR_NOT_A_CABINET = 2,
  CAB_ERROR_UNKNOWN_VERSION = 3,
  CAB_ERROR_CORRUPT_CABINET = 4,  // headers or data that do not hold together
  CAB_ERROR_ALLOC_FAIL = 5,
  CAB_ERROR_BAD_COMPRESSION = 6,
  CAB_ERROR_DECOMPRESSION = 7,
  CAB_ERROR_TARGET_FILE = 8,  // the caller's write routine failed
  CAB_ERROR_RESERVE_MISMATCH = 9,
  CAB_ERROR_WRONG_CABINET = 10,  // the next cabinet named does not continue this set
  CAB_ERROR_USER_ABORT = 11,     // a notification answered -1
};

// What FDIIsCabinet tells about a cabinet.
typedef struct {
  int32_t Length;  // the cabinet's size as its header gives it
  uint16_t FolderCount;
  uint16_t FileCount;
  uint16_t SetId;
  uint16_t CabinetIndex;  // 0 for the first cabinet of a set
  int32_t HasReserve;
  int32_t HasPrevious;  // a cabinet before this one in its set
  int32_t HasNext;      // a cabinet after this one
} TCabinetInfo;

// Notifications of FDICopy.
enum {
  CAB_NOTIFY_CABINET_INFO = 0,  // Name1 next cabinet, Name2 next disk, Name3 this cabinet's folder
  CAB_NOTIFY_PARTIAL_FILE = 1,  // Name1 a file continued from an earlier cabinet (not decoded here)
  CAB_NOTIFY_COPY_FILE = 2,     // Name1 the file; answer a handle to decode it into, 0 to skip, -1 to stop
  CAB_NOTIFY_CLOSE_FILE = 3,    // Handle is done; Failed is set when its data could not be decoded
  CAB_NOTIFY_NEXT_CABINET = 4,  // Name1 the next cabinet, Name3 its folder; the answer may rename them
};

// Longest name or folder a next-cabinet answer may give, with its NUL.
#define CAB_MAX_NAME 1024

typedef struct {
  const char* Name1;
  const char* Name2;
  const char* Name3;
  void* User;       // the value given to FDICopy
  int32_t Size;     // the file's uncompressed size (copy file)
  intptr_t Handle;  // the output handle (close file)
  uint16_t Date;    // the file's DOS date and time (copy file, close file)
  uint16_t Time;
  uint16_t Attributes;  // its DOS attributes
  uint16_t SetId;       // cabinet information
  uint16_t CabinetIndex;
  int32_t Failed;  // close file: the data could not be decoded in full
  // Next cabinet: the answer may write a new name and folder here (at most CAB_MAX_NAME bytes each,
  // NUL included); they start as copies of Name1 and Name3.
  char* NextName;
  char* NextFolder;
} TCabNotification;

// A notification handler; the answer as described with each notification (0 or -1 for the others).
typedef intptr_t (*TCabNotify)(int32_t Type, TCabNotification* Notification);

// Entry points, bound by name.
typedef void* (*TFDICreate)(TCabAlloc, TCabFree, TCabOpen, TCabRead, TCabWrite, TCabClose, TCabSeek,
                            int32_t ProcessorType, TCabErrorRecord* Error);
// Non-zero when the file behind Handle (read from its start) is a cabinet; Info is filled then.
typedef int32_t (*TFDIIsCabinet)(void* Context, intptr_t Handle, TCabinetInfo* Info);
// Decodes the cabinet Folder + Name, and the cabinets of its set that its files continue into, sending
// the notifications above. Non-zero on success; on failure the error record says why.
typedef int32_t (*TFDICopy)(void* Context, const char* Name, const char* Folder, int32_t Flags,
                            TCabNotify Notify, void* Reserved, void* User);
typedef int32_t (*TFDIDestroy)(void* Context);

#ifdef __cplusplus
}
#endif
