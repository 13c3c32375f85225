// The contract of UnRar3.so, our RAR extraction library, as the archive layer binds it at run time: ten
// entry points, the records they fill, the callback messages, and the result codes.
//
// An archive handle walks the archive's blocks one header at a time (RARReadHeader or RARReadHeaderEx),
// and after each file header the caller passes over the item (RAR_SKIP), tests it, handing its data to the
// callback (RAR_TEST), or extracts it to a file (RAR_EXTRACT). A walk runs on into the further volumes of
// a set, asking the callback first. Decoding an item that continues into further volumes reads through
// its parts, so that their headers are not returned again; a skipped item's further parts come back as
// headers marked RAR_FLAG_CONTINUED.
//
// Names are UTF-8, except that a name marked RAR_FLAG_OEM_NAME holds the archive's own 8-bit bytes (a
// name written by a DOS or Windows archiver without a Unicode form), which the caller converts. File
// names passed in (archives, destinations) are the system's own.
//
// RAR 1.5-4 and RAR 5 archives are read, plain or behind a self-extracting program, in one volume or a set.
// In a solid archive opened for extraction, skipping an item decodes it, so that a walk in archive order
// reads each item once.
//
// An item whose header is damaged but still names it comes back as a header marked RAR_FLAG_HEADER_BROKEN;
// processing it answers RAR_E_BAD_HEADER, and the walk goes on after it.
//
// What the library never does: decode an encrypted item (RAR_E_ENCRYPTED: the data is not decrypted,
// so it is not delivered) or decode RAR 1.5 compression (RAR_E_UNSUPPORTED). A handle is used by one
// thread; handles in different threads are independent.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Open modes.
#define RAR_OM_LIST 0
#define RAR_OM_EXTRACT 1

// Process operations.
#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

// Results. 10 ends a header walk; the others are failures.
#define RAR_SUCCESS 0
#define RAR_END_ARCHIVE 10
#define RAR_E_NO_MEMORY 11
#define RAR_E_BAD_DATA 12     // open: a broken header; process: a CRC error
#define RAR_E_BAD_ARCHIVE 13  // open: not a RAR archive; process: a volume that does not continue the set
#define RAR_E_UNKNOWN_FORMAT 14
#define RAR_E_EOPEN 15  // a file or volume cannot be opened
#define RAR_E_ECREATE 16
#define RAR_E_ECLOSE 17
#define RAR_E_EREAD 18  // the data ends early
#define RAR_E_EWRITE 19
#define RAR_E_ENCRYPTED 20      // encrypted data, which this library does not decrypt
#define RAR_E_UNSUPPORTED 21    // RAR 1.5 compression
#define RAR_E_ABORTED 22        // the callback answered -1
#define RAR_E_BAD_HEADER 23     // process: the item's own header is damaged, so its data is not read
#define RAR_E_TOO_DEMANDING 24  // process: the compressed data asks for far more memory than the item needs
#define RAR_E_SOLID_GAP 25      // process: a solid item whose earlier data lies in a volume that was not read

// Header flags passed on from the archive, and one of the library's own.
#define RAR_FLAG_CONTINUED 0x01  // the item continues from the previous volume
#define RAR_FLAG_CONTINUES 0x02  // the item continues in the next volume
#define RAR_FLAG_ENCRYPTED 0x04
#define RAR_FLAG_SOLID 0x10
#define RAR_FLAG_OEM_NAME 0x80000000u
// The item's header fails its check: its name is all that is passed on (no other flag, size 0, the
// attribute of a plain file), since the damage may lie in any field.
#define RAR_FLAG_HEADER_BROKEN 0x40000000u

// The attribute of a folder.
#define RAR_ATTR_FOLDER 0x10
// Most bytes of a volume name in the change-volume buffer, NUL included.
#define RAR_VOLUME_NAME_SIZE 1024
// Most bytes of a name in the header records, NUL included (longer names are cut at a character).
#define RAR_NAME_SHORT 260
#define RAR_NAME_LONG 1024

typedef struct {
  const char* ArcName;  // in
  uint32_t OpenMode;    // in
  uint32_t OpenResult;  // out
  // Archive comments are not read: these stay zero.
  char* CommentBuffer;
  uint32_t CommentBufferSize;
  uint32_t CommentSize;
  uint32_t CommentState;
} TRarOpenData;

typedef struct {
  char FileName[RAR_NAME_SHORT];
  uint32_t Flags;
  uint32_t UnpSize;
  uint32_t FileTime;  // DOS date and time
  uint32_t FileAttr;  // DOS attributes; RAR_ATTR_FOLDER for a folder whatever system wrote it
} TRarHeaderData;

typedef struct {
  char FileName[RAR_NAME_LONG];
  uint32_t Flags;
  uint32_t UnpSize;
  uint32_t UnpSizeHigh;
  uint32_t FileTime;
  uint32_t FileAttr;
} TRarHeaderDataEx;

// Callback messages. The answer is 1 to go on and -1 to stop.
#define RAR_MSG_CHANGE_VOLUME \
  0                             // P1: a RAR_VOLUME_NAME_SIZE buffer with the next volume's name;
                                // P2: 0 the file is missing (the answer may write another name into the
                                // buffer), 1 only a notice that the volume is being opened
#define RAR_MSG_PROCESS_DATA 1  // P1: decoded bytes, P2: their count (testing), or progress (extracting)

typedef int (*TRarCallback)(uint32_t Msg, void* UserData, intptr_t P1, intptr_t P2);
typedef int (*TRarChangeVolProc)(char* ArcName, int Mode);
typedef int (*TRarProcessDataProc)(uint8_t* Addr, int Size);

// Entry points, bound by name.
typedef void* (*TRAROpenArchive)(TRarOpenData* Data);
typedef int (*TRARCloseArchive)(void* Handle);
typedef int (*TRARReadHeader)(void* Handle, TRarHeaderData* Header);
typedef int (*TRARReadHeaderEx)(void* Handle, TRarHeaderDataEx* Header);
// DestPath is unused; DestName the output file of RAR_EXTRACT.
typedef int (*TRARProcessFile)(void* Handle, int Operation, const char* DestPath, const char* DestName);
typedef void (*TRARSetCallback)(void* Handle, TRarCallback Callback, void* UserData);
// Kept for callers of the older interface; stored only.
typedef void (*TRARSetChangeVolProc)(void* Handle, TRarChangeVolProc Proc);
typedef void (*TRARSetProcessDataProc)(void* Handle, TRarProcessDataProc Proc);
// Stored; encrypted items are refused whatever the password.
typedef void (*TRARSetPassword)(void* Handle, const char* Password);
typedef int (*TRARGetDllVersion)(void);

#ifdef __cplusplus
}
#endif
