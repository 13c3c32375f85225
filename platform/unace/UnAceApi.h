// The contract of UnAceV2.so, the ACE extraction library the archive layer binds at run time: five entry
// points, the records the caller fills, the callback record the library hands to the caller's four
// callbacks, and the result codes.
//
// The caller initialises the library with its callbacks (ACEInitDll), then tests (ACETest) or extracts
// (ACEExtract) an archive; the library walks the archive's entries and reports each one through the state
// callback (an entry starts, its decoded data, its CRC result), asks through the request callback (next
// volume, password, overwrite) and reports problems through the information and error callbacks.
//
// The library built here decodes ACE 1.0 and 2.0 archives itself (platform/unace/Ace*.h). Problems of one
// item go to the error callback with the item's file record (ACE_ERROR_UNSAFE_NAME, ACE_ERROR_WRITE) or
// show in its CRC result; a damaged header ends the run with ACE_ERROR_DAMAGED. A handle-less contract: one
// call at a time, on one thread, with the record given to ACEInitDll alive until the call returns.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Results.
#define ACE_OK 0
#define ACE_ERROR_PARAMETER 1    // a record or name is missing
#define ACE_ERROR_OPEN 2         // the archive cannot be opened
#define ACE_ERROR_NOT_ACE 3      // no ACE main header where one must be
#define ACE_ERROR_DAMAGED 5      // a damaged or cut-off block header ends the walk
#define ACE_ERROR_UNSAFE_NAME 6  // error callback: an item's name leaves the destination folder
#define ACE_ERROR_WRITE 7        // error callback: an item's output file cannot be made
// Error callback: a volume ends early. With a file record, the item's data stops at the end of the
// volume; without one, the block header at Offset is cut off. Archive names the volume. As a result:
// the walk ended at such a cut.
#define ACE_ERROR_ENDS_EARLY 8
// Error callback: an encrypted item whose data is all there fails its check: the password is wrong.
#define ACE_ERROR_PASSWORD 9
// Error callback: an item of a solid archive that follows lost data (a cut, a missing volume) cannot be
// decoded; it is neither started nor handed over.
#define ACE_ERROR_SOLID_LOST 10

// Callback answers.
#define ACE_CALLBACK_OK 0
#define ACE_CALLBACK_NO 1
#define ACE_CALLBACK_CANCEL 2

// Operations named in callback records.
#define ACE_OPERATION_LIST 0
#define ACE_OPERATION_TEST 1
#define ACE_OPERATION_EXTRACT 3

// Callback types and codes the caller answers.
#define ACE_REQUEST_VOLUME 1  // type of a request for the next volume (code ACE_CODE_NEXT_VOLUME)
#define ACE_REQUEST_FILE 2    // type of a request about an entry
// A volume request names the volume by number (1 for the first after the archive given) and carries the
// record of the item that continues into it, or none between items. The caller answers OK with the file
// written to ArchiveName, NO when that volume is missing but a later one is there (the library goes on
// with the next number), CANCEL when the set ends.
#define ACE_CODE_NEXT_VOLUME 801
#define ACE_CODE_OVERWRITE 832
#define ACE_CODE_PASSWORD 835
#define ACE_STATE_ENTRY 2  // state type of an entry's start (code ACE_CODE_ENTRY_START)
#define ACE_CODE_ENTRY_START 0x410
#define ACE_STATE_PROGRESS 7  // decoded data of the entry
#define ACE_STATE_CRC 8       // the entry's CRC result

typedef struct TAceCallbackRecord TAceCallbackRecord;
typedef int (*TAceCallback)(TAceCallbackRecord* Record);

typedef struct {
  void* Owner;                   // the caller's object, handed back through every callback record
  uint32_t MaxArchiveTestBytes;  // how far into a file an archive is looked for
  uint32_t MaxFileBufferSize;
  uint32_t CommentBufferSize;  // comments are not read: 0
  char* CommentBuffer;
  char* Password;  // set by the caller when a password request is answered
  const char* TempFolder;
  TAceCallback Info;
  TAceCallback Error;
  TAceCallback Request;
  TAceCallback State;
} TAceInitData;

typedef struct {
  char* ArchiveName;  // a buffer of ACE_NAME_SIZE bytes: a volume request writes the next volume here
  int32_t VolumeNumber;
} TAceArchiveData;

#define ACE_NAME_SIZE 1024

typedef struct {
  const char* Name;        // the entry's stored name
  const char* NameOnDisk;  // where the library writes it
  int64_t PackedSize;
  int64_t Size;
  uint32_t DosTime;
  uint32_t Attributes;
  uint32_t Crc;
} TAceFileData;

typedef struct {
  const uint8_t* Data;  // decoded bytes (testing)
  uint32_t Length;
} TAceProgressData;

struct TAceCallbackRecord {
  uint32_t Type;
  uint32_t Code;
  uint32_t Operation;
  TAceInitData* Global;
  TAceArchiveData* Archive;
  TAceFileData* File;
  TAceProgressData* Progress;
  int32_t CrcOk;    // the CRC result of ACE_STATE_CRC
  uint64_t Offset;  // ACE_ERROR_ENDS_EARLY: where the volume's readable blocks end
};

typedef struct {
  const char* SourceFolder;  // "" for every entry
  const char* FileList;
  const char* ExcludeList;
  int32_t FullMatch;
  const char* Password;
} TAceTestData;

typedef struct {
  const char* SourceFolder;
  const char* FileList;
  const char* ExcludeList;
  int32_t FullMatch;
  const char* DestinationFolder;
  int32_t ExcludePath;
  const char* Password;
} TAceExtractData;

// Entry points, bound by name. ACEReadArchiveData and ACEList are part of the contract but not used by
// the archive layer.
typedef int (*TACEInitDll)(TAceInitData* Data);
typedef int (*TACEReadArchiveData)(const char* ArchiveName, TAceArchiveData* Data);
typedef int (*TACEList)(const char* ArchiveName, void* Reserved);
typedef int (*TACETest)(const char* ArchiveName, TAceTestData* Data);
typedef int (*TACEExtract)(const char* ArchiveName, TAceExtractData* Data);

#ifdef __cplusplus
}
#endif
