/* The connectivity library nilibddc: read access to TDM (XML header plus
 * binary .tdx) and TDMS files through handles to a file, its channel groups
 * and their channels. It is loaded at run time ("nilibddc.dll", which the
 * platform layer maps to libnilibddc.so) and exports the 66 entry points of
 * DDC_ENTRY_POINTS below with C linkage. The reading operations work; those
 * that create, change or query files answer DDC_ErrNotSupported.
 *
 * Conventions of the model
 *
 * Objects. A file holds its channel groups in file order (the order in which
 * a group, or a channel of it, first appears), each group its channels in the
 * same order. Handles stay valid until DDC_CloseFile of their file; a stale or
 * foreign handle gives DDC_ErrInvalidArgument, never a crash. One file may be
 * read from several threads at once; closing it while another call on it runs
 * is the caller's fault.
 *
 * Names. Every object has a text property "name": the file its stored one
 * when not empty, else the base name of its path (without folder and
 * extension); TDMS groups and channels the name part of their object path;
 * TDM groups and channels their name element.
 *
 * Property order. The file's "name", "description", "title", "author" and
 * "datetime" come first, a group's "name" and "description", a channel's
 * "name", "description", "unit_string", "minimum" and "maximum"; then every
 * further property in the order of its first appearance (a TDMS property set
 * again in a later segment keeps its place and takes the new value). In TDMS
 * these leading properties always exist: a text one not stored is empty,
 * "minimum" and "maximum" not stored are 0.0 (DDC_TypeDouble), a "datetime"
 * not stored is 1904-01-01 00:00:00 UTC. In TDM only those whose element is
 * present exist; "minimum" and "maximum" are doubles, "datetime" a timestamp
 * (ISO 8601 text; without a zone it is UTC).
 *
 * Property types (DDC_Get...PropertyType): DDC_TypeString (23) for texts,
 * DDC_TypeTimestamp (30) for timestamps, numbers and booleans their TDMS type
 * code (1-10, 25, 26, 33). TDM attributes: string 23, double 10, float 9,
 * long 3, short 2, byte 5, longlong 4, time 30.
 *
 * Reading a property (DDC_Get...Property, value buffer of valueSizeInBytes):
 * - a text fills length + 1 bytes (the text and its terminator; the length
 *   comes from DDC_Get...StringPropertyLength, without the terminator); a
 *   smaller buffer gets the text cut to fit, terminated, and DDC_ErrRange;
 * - a number or boolean read with size 8 gives a double; read with its own
 *   size (1, 2 or 4 bytes) it gives its stored value in that type;
 * - a number read with any other size, and a timestamp (read through
 *   ...TimestampComponents), give DDC_ErrTypeMismatch; so do the length of
 *   a property that is no text and the components of one that is no
 *   timestamp; a property that does not exist gives DDC_ErrPropertyAbsent.
 * Property names are compared exactly (case matters).
 *
 * Channel data types (DDC_GetDataType): the TDMS codes 1-10 (i8, i16, i32,
 * i64, u8, u16, u32, u64, f32, f64), 25 and 26 (f32 and f64 with unit),
 * DDC_TypeChannelString (32), DDC_TypeBoolean (33, one byte 0 or 1) and
 * DDC_TypeChannelTimestamp (68). TDM value types map onto them (eInt8Usi 1,
 * eInt16Usi 2, eInt32Usi 3, eInt64Usi 4, eUInt8Usi 5, eUInt16Usi 6,
 * eUInt32Usi 7, eUInt64Usi 8, eFloat32Usi 9, eFloat64Usi 10, eTimeUsi 68,
 * inline strings 32); implicit_linear and raw_linear channels are delivered as
 * doubles (10). Complex and extended floats, fixed point, TDM block_bm
 * storage, strings in a .tdx and other TDM representations have
 * DDC_TypeUnsupported (0): their values cannot be read (DDC_ErrNotSupported),
 * their count is told.
 *
 * DAQmx raw data: a channel has one value per row of its raw buffer, that of
 * its scaler (format-changing: the scaler's type at its byte offset in the
 * row; digital line: one bit, 0 or 1, in the scaler's type); a channel of a
 * plain number type has scalers of that type. Without a scaling, a channel
 * with several scalers cannot be read (DDC_ErrScalingMissing).
 *
 * NI scaling: where a number channel, else its group, else the file carries
 * "NI_Number_Of_Scales" (or "NI_Scale[k]_Scale_Type" properties) and
 * "NI_Scaling_Status" is not "scaled", the values delivered are the output of
 * scale n - 1, each scale taking its input from the scale that
 * "NI_Scale[k]_<Type>_Input_Source" names (0xFFFFFFFF or absent: the stored
 * value; a scale without a type is the DAQmx scaler of that scale id).
 * Linear, Polynomial, Table, Add, Subtract and AdvancedAPI scales are
 * computed, in doubles (10); a chain of DAQmx scalers alone keeps the
 * scaler's type. A channel whose chain needs another scale type, or is
 * broken, has DDC_TypeUnsupported: DDC_GetDataType and DDC_GetDataValues
 * return the reason (DDC_ErrScale..., DDC_ErrScalingMissing), its count is
 * told. No channel is delivered unscaled as if its values were physical.
 *
 * Values (DDC_GetDataValues): numbers and booleans packed at their type's size
 * in the machine's byte order; strings as one char* per value, each allocated
 * by the library and released with DDC_FreeMemory; timestamps only through
 * DDC_GetDataValuesTimestampComponents. A truncated file yields the values
 * that are present.
 *
 * Timestamp components: the stored instant in UTC, whatever the local time
 * zone, so that every instant maps back to itself (local times repeat an hour
 * when daylight saving ends); year in full, month 1-12, day 1-31, hour 0-23,
 * minute 0-59, second 0-59, fraction of the second in seconds in [0, 1),
 * weekday 0 (Sunday) to 6. Any output pointer may be NULL. An instant whose
 * year cannot be represented gives DDC_ErrRange.
 *
 * Texts reach the caller in Windows-1252 ("?" for a character outside it);
 * texts and paths from the caller are Windows-1252 too, and paths go to the
 * operating system in UTF-8.
 *
 * Statuses: 0 success, negative on error; DDC_GetLibraryErrorDescription gives
 * each one's text.
 *
 * Damage. A bad first lead-in, unreadable XML, a missing .tdx or damage in the
 * first TDMS segment's metadata (an unknown type, a bad index) fail
 * DDC_OpenFileEx with DDC_ErrDamaged. Damage in a later segment keeps the
 * segments before it; a file that ends inside a segment's lead-in or metadata
 * keeps the segments before that one. A segment whose next-segment offset
 * lies beyond the file's end ends at the first of its chunk boundaries where
 * a lead-in starts, and reading goes on there; without one, its data end
 * with the file: whole chunks, then of a partial chunk the whole values
 * (interleaved and DAQmx: the whole rows) that are present. Offsets and
 * counts are checked in 64 bits.
 */
#ifndef NILIBDDC_H
#define NILIBDDC_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DDCFileObject* DDCFileHandle;
typedef struct DDCChannelGroupObject* DDCChannelGroupHandle;
typedef struct DDCChannelObject* DDCChannelHandle;

typedef enum DDCDataType {
  DDC_TypeUnsupported = 0,
  DDC_TypeInt8 = 1,
  DDC_TypeInt16 = 2,
  DDC_TypeInt32 = 3,
  DDC_TypeInt64 = 4,
  DDC_TypeUInt8 = 5,
  DDC_TypeUInt16 = 6,
  DDC_TypeUInt32 = 7,
  DDC_TypeUInt64 = 8,
  DDC_TypeFloat = 9,
  DDC_TypeDouble = 10,
  DDC_TypeString = 23,     /* text property */
  DDC_TypeFloatWithUnit = 25,
  DDC_TypeDoubleWithUnit = 26,
  DDC_TypeTimestamp = 30,  /* timestamp property */
  DDC_TypeChannelString = 32,
  DDC_TypeBoolean = 33,
  DDC_TypeChannelTimestamp = 68
} DDCDataType;

enum {
  DDC_NoError = 0,
  DDC_ErrOutOfMemory = -6201,
  DDC_ErrInvalidArgument = -6202,
  DDC_ErrLibraryNotLoaded = -6204,
  DDC_ErrFileNotFound = -6210,   /* missing or unreadable file (or .tdx) */
  DDC_ErrWrongFileKind = -6211,  /* not a file of the given type */
  DDC_ErrDamaged = -6212,        /* damaged structure or data */
  DDC_ErrPropertyAbsent = -6213,
  DDC_ErrTypeMismatch = -6214,   /* property or values of another type or size */
  DDC_ErrRange = -6215,          /* index, count or buffer out of range */
  DDC_ErrNotSupported = -6216,
  DDC_ErrReadFailed = -6217,     /* the operating system failed a read */
  /* Channels whose NI scaling cannot be computed (DDC_GetDataType, DDC_GetDataValues). */
  DDC_ErrScaleRTD = -6220,
  DDC_ErrScaleThermistor = -6221,
  DDC_ErrScaleThermocouple = -6222,
  DDC_ErrScaleStrain = -6223,
  DDC_ErrScaleUnknown = -6224,     /* a scale type the library does not know */
  DDC_ErrScaleInput = -6225,       /* an input source names no scale of the chain */
  DDC_ErrScaleCycle = -6226,       /* scales take their inputs from each other */
  DDC_ErrScaleTableSizes = -6227,  /* a table's two value lists differ in size */
  DDC_ErrScaleParameter = -6228,   /* a scale's parameter is missing or unusable */
  DDC_ErrScalingMissing = -6229    /* several raw values per sample and no scaling */
};

/* Files */
int DDC_CreateFile(const char* filePath, const char* fileType, const char* name,
                   const char* description, const char* title, const char* author,
                   DDCFileHandle* file);
int DDC_AddChannelGroup(DDCFileHandle file, const char* name, const char* description,
                        DDCChannelGroupHandle* channelGroup);
int DDC_AddChannel(DDCChannelGroupHandle channelGroup, DDCDataType dataType, const char* name,
                   const char* description, const char* unitString, DDCChannelHandle* channel);
int DDC_SaveFile(DDCFileHandle file);
/* Releases the file and every handle of it; a NULL or unknown handle is ignored. */
void DDC_CloseFile(DDCFileHandle file);
/* fileType "TDM" or "TDMs" (any case); readOnly must be 1. */
int DDC_OpenFileEx(const char* filePath, const char* fileType, int readOnly, DDCFileHandle* file);
int DDC_RemoveChannelGroup(DDCChannelGroupHandle channelGroup);
int DDC_RemoveChannel(DDCChannelHandle channel);
int DDC_CloseChannelGroup(DDCChannelGroupHandle channelGroup);
int DDC_CloseChannel(DDCChannelHandle channel);
int DDC_OpenFile(const char* filePath, const char* fileType, DDCFileHandle* file);

/* Writing values */
int DDC_SetDataValues(DDCChannelHandle channel, const void* values, size_t numValues);
int DDC_AppendDataValues(DDCChannelHandle channel, const void* values, size_t numValues);
int DDC_ReplaceDataValues(DDCChannelHandle channel, size_t indexOfFirstValueToReplace,
                          const void* values, size_t numValues);
int DDC_SetDataValuesTimestampComponents(DDCChannelHandle channel, const unsigned int year[],
                                         const unsigned int month[], const unsigned int day[],
                                         const unsigned int hour[], const unsigned int minute[],
                                         const unsigned int second[], const double fraction[],
                                         size_t numValues);
int DDC_AppendDataValuesTimestampComponents(DDCChannelHandle channel, const unsigned int year[],
                                            const unsigned int month[], const unsigned int day[],
                                            const unsigned int hour[], const unsigned int minute[],
                                            const unsigned int second[], const double fraction[],
                                            size_t numValues);
int DDC_ReplaceDataValuesTimestampComponents(DDCChannelHandle channel,
                                             size_t indexOfFirstValueToReplace,
                                             const unsigned int year[], const unsigned int month[],
                                             const unsigned int day[], const unsigned int hour[],
                                             const unsigned int minute[],
                                             const unsigned int second[], const double fraction[],
                                             size_t numValues);

/* Groups and channels. A Get... call fills min(count, number of objects)
 * slots and sets the further ones to NULL. */
int DDC_GetNumChannelGroups(DDCFileHandle file, unsigned int* numChannelGroups);
int DDC_GetChannelGroups(DDCFileHandle file, DDCChannelGroupHandle channelGroups[],
                         size_t numChannelGroups);
int DDC_GetNumChannels(DDCChannelGroupHandle channelGroup, unsigned int* numChannels);
int DDC_GetChannels(DDCChannelGroupHandle channelGroup, DDCChannelHandle channels[],
                    size_t numChannels);

/* Queries */
int DDC_QueryChannelGroups(DDCFileHandle file, const char* query,
                           DDCChannelGroupHandle** channelGroups, size_t* numChannelGroups);
int DDC_QueryChannels(DDCFileHandle file, const char* query, DDCChannelHandle** channels,
                      size_t* numChannels);
int DDC_MergeChannelGroupQueryResults(const DDCChannelGroupHandle first[], size_t numFirst,
                                      const DDCChannelGroupHandle second[], size_t numSecond,
                                      int operation, DDCChannelGroupHandle** result,
                                      size_t* numResult);
int DDC_MergeChannelQueryResults(const DDCChannelHandle first[], size_t numFirst,
                                 const DDCChannelHandle second[], size_t numSecond, int operation,
                                 DDCChannelHandle** result, size_t* numResult);
int DDC_ExecuteChannelGroupQueryExpression(DDCFileHandle file, const char* expression,
                                           DDCChannelGroupHandle** result, size_t* numResult);
int DDC_ExecuteChannelQueryExpression(DDCFileHandle file, const char* expression,
                                      DDCChannelHandle** result, size_t* numResult);

/* Reading values */
int DDC_GetNumDataValues(DDCChannelHandle channel, uint64_t* numValues);
int DDC_GetDataValues(DDCChannelHandle channel, size_t indexOfFirstValueToGet,
                      size_t numValuesToGet, void* values);
int DDC_GetDataValuesTimestampComponents(DDCChannelHandle channel, size_t indexOfFirstValueToGet,
                                         size_t numValuesToGet, unsigned int year[],
                                         unsigned int month[], unsigned int day[],
                                         unsigned int hour[], unsigned int minute[],
                                         unsigned int second[], double fraction[],
                                         unsigned int weekDay[]);
int DDC_GetDataType(DDCChannelHandle channel, DDCDataType* dataType);

/* File properties */
int DDC_SetFilePropertyTimestampComponents(DDCFileHandle file, const char* property,
                                           unsigned int year, unsigned int month, unsigned int day,
                                           unsigned int hour, unsigned int minute,
                                           unsigned int second, double fraction);
int DDC_SetFilePropertyV(DDCFileHandle file, const char* property, va_list args);
int DDC_CreateFilePropertyTimestampComponents(DDCFileHandle file, const char* property,
                                              unsigned int year, unsigned int month,
                                              unsigned int day, unsigned int hour,
                                              unsigned int minute, unsigned int second,
                                              double fraction);
int DDC_CreateFilePropertyV(DDCFileHandle file, const char* property, DDCDataType dataType,
                            va_list args);
int DDC_GetFileProperty(DDCFileHandle file, const char* property, void* value,
                        size_t valueSizeInBytes);
int DDC_GetFilePropertyTimestampComponents(DDCFileHandle file, const char* property,
                                           unsigned int* year, unsigned int* month,
                                           unsigned int* day, unsigned int* hour,
                                           unsigned int* minute, unsigned int* second,
                                           double* fraction, unsigned int* weekDay);
int DDC_GetFileStringPropertyLength(DDCFileHandle file, const char* property,
                                    unsigned int* length);
int DDC_FilePropertyExists(DDCFileHandle file, const char* property, int* exists);
int DDC_GetNumFileProperties(DDCFileHandle file, unsigned int* numProperties);
/* Fills min(count, number of properties) slots with names that the caller
 * releases with DDC_FreeMemory; further slots become NULL. The same holds for
 * the group and channel forms. */
int DDC_GetFilePropertyNames(DDCFileHandle file, char* propertyNames[], size_t numPropertyNames);

/* Channel group properties */
int DDC_SetChannelGroupPropertyTimestampComponents(DDCChannelGroupHandle channelGroup,
                                                   const char* property, unsigned int year,
                                                   unsigned int month, unsigned int day,
                                                   unsigned int hour, unsigned int minute,
                                                   unsigned int second, double fraction);
int DDC_SetChannelGroupPropertyV(DDCChannelGroupHandle channelGroup, const char* property,
                                 va_list args);
int DDC_CreateChannelGroupPropertyTimestampComponents(DDCChannelGroupHandle channelGroup,
                                                      const char* property, unsigned int year,
                                                      unsigned int month, unsigned int day,
                                                      unsigned int hour, unsigned int minute,
                                                      unsigned int second, double fraction);
int DDC_CreateChannelGroupPropertyV(DDCChannelGroupHandle channelGroup, const char* property,
                                    DDCDataType dataType, va_list args);
int DDC_GetChannelGroupProperty(DDCChannelGroupHandle channelGroup, const char* property,
                                void* value, size_t valueSizeInBytes);
int DDC_GetChannelGroupPropertyTimestampComponents(DDCChannelGroupHandle channelGroup,
                                                   const char* property, unsigned int* year,
                                                   unsigned int* month, unsigned int* day,
                                                   unsigned int* hour, unsigned int* minute,
                                                   unsigned int* second, double* fraction,
                                                   unsigned int* weekDay);
int DDC_GetChannelGroupStringPropertyLength(DDCChannelGroupHandle channelGroup,
                                            const char* property, unsigned int* length);
int DDC_ChannelGroupPropertyExists(DDCChannelGroupHandle channelGroup, const char* property,
                                   int* exists);
int DDC_GetNumChannelGroupProperties(DDCChannelGroupHandle channelGroup,
                                     unsigned int* numProperties);
int DDC_GetChannelGroupPropertyNames(DDCChannelGroupHandle channelGroup, char* propertyNames[],
                                     size_t numPropertyNames);

/* Channel properties */
int DDC_SetChannelPropertyTimestampComponents(DDCChannelHandle channel, const char* property,
                                              unsigned int year, unsigned int month,
                                              unsigned int day, unsigned int hour,
                                              unsigned int minute, unsigned int second,
                                              double fraction);
int DDC_SetChannelPropertyV(DDCChannelHandle channel, const char* property, va_list args);
int DDC_CreateChannelPropertyTimestampComponents(DDCChannelHandle channel, const char* property,
                                                 unsigned int year, unsigned int month,
                                                 unsigned int day, unsigned int hour,
                                                 unsigned int minute, unsigned int second,
                                                 double fraction);
int DDC_CreateChannelPropertyV(DDCChannelHandle channel, const char* property,
                               DDCDataType dataType, va_list args);
int DDC_GetChannelProperty(DDCChannelHandle channel, const char* property, void* value,
                           size_t valueSizeInBytes);
int DDC_GetChannelPropertyTimestampComponents(DDCChannelHandle channel, const char* property,
                                              unsigned int* year, unsigned int* month,
                                              unsigned int* day, unsigned int* hour,
                                              unsigned int* minute, unsigned int* second,
                                              double* fraction, unsigned int* weekDay);
int DDC_GetChannelStringPropertyLength(DDCChannelHandle channel, const char* property,
                                       unsigned int* length);
int DDC_ChannelPropertyExists(DDCChannelHandle channel, const char* property, int* exists);
int DDC_GetNumChannelProperties(DDCChannelHandle channel, unsigned int* numProperties);
int DDC_GetChannelPropertyNames(DDCChannelHandle channel, char* propertyNames[],
                                size_t numPropertyNames);

/* Memory and statuses */
/* Releases a text that the library handed out (names, string values); NULL is ignored. */
void DDC_FreeMemory(void* memory);
/* A static text for every status; "Unknown error" for a code the library does not use. */
const char* DDC_GetLibraryErrorDescription(int errorCode);
int DDC_GetFilePropertyType(DDCFileHandle file, const char* property, DDCDataType* dataType);
int DDC_GetChannelGroupPropertyType(DDCChannelGroupHandle channelGroup, const char* property,
                                    DDCDataType* dataType);
int DDC_GetChannelPropertyType(DDCChannelHandle channel, const char* property,
                               DDCDataType* dataType);

/* The 66 entry points in the order a loader resolves them: X(name) for each. */
#define DDC_ENTRY_POINTS(X)                                                              \
  X(DDC_CreateFile) X(DDC_AddChannelGroup) X(DDC_AddChannel) X(DDC_SaveFile)              \
  X(DDC_CloseFile) X(DDC_OpenFileEx) X(DDC_RemoveChannelGroup) X(DDC_RemoveChannel)       \
  X(DDC_CloseChannelGroup) X(DDC_CloseChannel) X(DDC_OpenFile) X(DDC_SetDataValues)       \
  X(DDC_AppendDataValues) X(DDC_ReplaceDataValues) X(DDC_SetDataValuesTimestampComponents) \
  X(DDC_AppendDataValuesTimestampComponents) X(DDC_ReplaceDataValuesTimestampComponents)  \
  X(DDC_GetNumChannelGroups) X(DDC_GetChannelGroups) X(DDC_GetNumChannels)                \
  X(DDC_GetChannels) X(DDC_QueryChannelGroups) X(DDC_QueryChannels)                       \
  X(DDC_MergeChannelGroupQueryResults) X(DDC_MergeChannelQueryResults)                    \
  X(DDC_ExecuteChannelGroupQueryExpression) X(DDC_ExecuteChannelQueryExpression)          \
  X(DDC_GetNumDataValues) X(DDC_GetDataValues) X(DDC_GetDataValuesTimestampComponents)    \
  X(DDC_GetDataType) X(DDC_SetFilePropertyTimestampComponents) X(DDC_SetFilePropertyV)    \
  X(DDC_CreateFilePropertyTimestampComponents) X(DDC_CreateFilePropertyV)                 \
  X(DDC_GetFileProperty) X(DDC_GetFilePropertyTimestampComponents)                        \
  X(DDC_GetFileStringPropertyLength) X(DDC_FilePropertyExists) X(DDC_GetNumFileProperties) \
  X(DDC_GetFilePropertyNames) X(DDC_SetChannelGroupPropertyTimestampComponents)           \
  X(DDC_SetChannelGroupPropertyV) X(DDC_CreateChannelGroupPropertyTimestampComponents)    \
  X(DDC_CreateChannelGroupPropertyV) X(DDC_GetChannelGroupProperty)                       \
  X(DDC_GetChannelGroupPropertyTimestampComponents)                                       \
  X(DDC_GetChannelGroupStringPropertyLength) X(DDC_ChannelGroupPropertyExists)            \
  X(DDC_GetNumChannelGroupProperties) X(DDC_GetChannelGroupPropertyNames)                 \
  X(DDC_SetChannelPropertyTimestampComponents) X(DDC_SetChannelPropertyV)                 \
  X(DDC_CreateChannelPropertyTimestampComponents) X(DDC_CreateChannelPropertyV)           \
  X(DDC_GetChannelProperty) X(DDC_GetChannelPropertyTimestampComponents)                  \
  X(DDC_GetChannelStringPropertyLength) X(DDC_ChannelPropertyExists)                      \
  X(DDC_GetNumChannelProperties) X(DDC_GetChannelPropertyNames) X(DDC_FreeMemory)         \
  X(DDC_GetLibraryErrorDescription) X(DDC_GetFilePropertyType)                            \
  X(DDC_GetChannelGroupPropertyType) X(DDC_GetChannelPropertyType)

#ifdef __cplusplus
}
#endif

#endif /* NILIBDDC_H */
