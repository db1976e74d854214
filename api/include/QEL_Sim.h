/* QEL_Sim: control of the simulated camera unit that ships inside QEL_API. */
#ifndef QEL_SIM_H
#define QEL_SIM_H

#include "QEL_API.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Each returns 0 on success and -1 for an argument outside its list. */

/* Routes the library to the simulated unit (1) or the real USB backend (0). Call before
   QEL_Init; a change while the library runs takes effect at the next QEL_Init. */
QEL_EXPORT int QEL_CALL QELSIM_Enable(int on);
/* Plugs the simulated unit in (1) or pulls it out (0). */
QEL_EXPORT int QEL_CALL QELSIM_SetPlugged(int plugged);
/* Head on the unit: 0 40K, 1 160K, -1 none. */
QEL_EXPORT int QEL_CALL QELSIM_SetHead(int cisType);
/* EEPROM of the head: 0 none, 1 present but blank, 2 formatted with sample records. */
QEL_EXPORT int QEL_CALL QELSIM_SetCisEeprom(int state);
/* Frame rate in millihertz; 0 paces frames at the USB 2.0 high-speed bulk limit. */
QEL_EXPORT int QEL_CALL QELSIM_SetFrameRate(int milliHz);
/* Keeps the unit EEPROM and the EEPROMs of both heads in the file at path across processes:
   loaded now when it exists, written after every EEPROM write. Call before QEL_Init. -1 for a
   null path or a file that exists but is not a state file (it is left untouched); an errno
   value (above 0) when the file cannot be written there, as in a folder without write access. */
QEL_EXPORT int QEL_CALL QELSIM_SetStateFile(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* QEL_SIM_H */
