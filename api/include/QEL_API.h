/* QEL_API: plain C interface to the QEL USB camera unit (one unit per process, no handles). */
#ifndef QEL_API_H
#define QEL_API_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(QEL_API_BUILD)
#define QEL_EXPORT __declspec(dllexport)
#else
#define QEL_EXPORT __declspec(dllimport)
#endif
#define QEL_CALL __stdcall
#else
#define QEL_EXPORT __attribute__((visibility("default")))
#define QEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Handle of the data semaphore: a Win32 semaphore HANDLE on Windows, a sem_t* elsewhere.
   Owned by the library; callers only wait on it (see QEL_WaitDataSemaphore in the viewer). */
typedef void* QEL_HANDLE;

/* Return codes: 0 success; 1 unit not open or transfer failed; -1 null pointer or an index
   outside its list. Multi-step EEPROM operations add their own codes. */

/* Start, stop, version and status. */
QEL_EXPORT int QEL_CALL QEL_Init(void);
QEL_EXPORT int QEL_CALL QEL_Term(void);
QEL_EXPORT int QEL_CALL QEL_GetStatus(int* status);
QEL_EXPORT int QEL_CALL QEL_GetVersion(uint32_t* version);
QEL_EXPORT int QEL_CALL QEL_GetDevInfo(unsigned int size, unsigned char* buffer);
QEL_EXPORT int QEL_CALL QEL_GetDevFormatInfo(unsigned int index, unsigned int size,
                                             unsigned char* buffer);

/* Frames. QEL_GetFrame returns -1 before the first frame, 0 for a new frame and 1 when the
   frame is the same as on the previous call. */
QEL_EXPORT int QEL_CALL QEL_GetDataSemaphoHandle(QEL_HANDLE* handle);
QEL_EXPORT int QEL_CALL QEL_GetIndex(int* index);
QEL_EXPORT int QEL_CALL QEL_GetFrame(unsigned char* destination, unsigned int size,
                                     unsigned int* length);

#ifdef __cplusplus
}
#endif

#endif /* QEL_API_H */
