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

/* Camera parameters. Setters take the device value (cut to the register field, never range
   checked); getters write the decoded value, or 0 when the read failed. Registers below 0x30
   follow the bank of the attached head type. Indexed forms answer -1 for an index outside
   their list without sending anything. */
QEL_EXPORT int QEL_CALL QEL_Set_ControlMode(int index, int value); /* 0 gain/exposure, 1 light */
QEL_EXPORT int QEL_CALL QEL_Get_ControlMode(int index, int* value);
QEL_EXPORT int QEL_CALL QEL_Set_BlackLevel(int value);
QEL_EXPORT int QEL_CALL QEL_Get_BlackLevel(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ExposureTime(int value);
QEL_EXPORT int QEL_CALL QEL_Get_ExposureTime(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_RawGain(int value);
QEL_EXPORT int QEL_CALL QEL_Get_RawGain(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_AGC_AEC_Target(int value);
QEL_EXPORT int QEL_CALL QEL_Get_AGC_AEC_Target(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_Hysteresis(int index, int value); /* 0..3: A1, A2, B1, B2 */
QEL_EXPORT int QEL_CALL QEL_Get_Hysteresis(int index, int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ControlSpeed(int value);
QEL_EXPORT int QEL_CALL QEL_Get_ControlSpeed(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ControlMonitor(int index, int value); /* control area 1, 2 */
QEL_EXPORT int QEL_CALL QEL_Get_ControlMonitor(int index, int* value);
QEL_EXPORT int QEL_CALL QEL_Set_MinLightLevel(int value);
QEL_EXPORT int QEL_CALL QEL_Get_MinLightLevel(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ALC_Param(int value);
QEL_EXPORT int QEL_CALL QEL_Get_ALC_Param(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_LightLevel(int value);
QEL_EXPORT int QEL_CALL QEL_Get_LightLevel(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_AWB(int value);
QEL_EXPORT int QEL_CALL QEL_Get_AWB(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_GainRB(int index, int value); /* 0 red, 1 blue; -255..255 */
QEL_EXPORT int QEL_CALL QEL_Get_GainRB(int index, int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ColorMatrix(int index, int value); /* 0..8 Rr..Bb; -256..255 */
QEL_EXPORT int QEL_CALL QEL_Get_ColorMatrix(int index, int* value);
QEL_EXPORT int QEL_CALL QEL_Set_GainYC(int index, int value); /* 0 Y, 1 Cb, 2 Cr; -255..255 */
QEL_EXPORT int QEL_CALL QEL_Get_GainYC(int index, int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ALC_Target(int value);
QEL_EXPORT int QEL_CALL QEL_Get_ALC_Target(int* value);

/* Camera parameters packed four bits each into shared registers. */
QEL_EXPORT int QEL_CALL QEL_Set_Gamma(int value);
QEL_EXPORT int QEL_CALL QEL_Get_Gamma(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ImageFlip(int value);
QEL_EXPORT int QEL_CALL QEL_Get_ImageFlip(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_ImageRotation(int value);
QEL_EXPORT int QEL_CALL QEL_Get_ImageRotation(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_DVI_ImageSize(int value);
QEL_EXPORT int QEL_CALL QEL_Get_DVI_ImageSize(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_NoiseReduction(int value);
QEL_EXPORT int QEL_CALL QEL_Get_NoiseReduction(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_EdgeEnhancement(int value);
QEL_EXPORT int QEL_CALL QEL_Get_EdgeEnhancement(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_VFPN_Corr(int value);
QEL_EXPORT int QEL_CALL QEL_Get_VFPN_Corr(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_DVI_Resolution(int value);
QEL_EXPORT int QEL_CALL QEL_Get_DVI_Resolution(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_CIS_ImageFineAdj(int value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_ImageFineAdj(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_DP_Corr(int value);
QEL_EXPORT int QEL_CALL QEL_Get_DP_Corr(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_FPN_Corr(int value);
QEL_EXPORT int QEL_CALL QEL_Get_FPN_Corr(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_FPN_Data_Acquisition(int value);
QEL_EXPORT int QEL_CALL QEL_Get_FPN_Data_Acquisition(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_CIS_VoutCurrent(int value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_VoutCurrent(int* value);

/* Head and unit registers, the same for both head types. QEL_Get_CIS_Type: 0 40K, 1 160K.
   QEL_Get_FPGA_Ver: bits 7..4 major, 3..0 minor. */
QEL_EXPORT int QEL_CALL QEL_Get_CIS_Connect(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_CIS_LimitFlag(int value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_LimitFlag(int* value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_Type(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_CIS_ConnectionDet(int value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_ConnectionDet(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_CIS_OverCurrentDet(int value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_OverCurrentDet(int* value);
QEL_EXPORT int QEL_CALL QEL_Set_CIS_ManualDetect(int value);
QEL_EXPORT int QEL_CALL QEL_Get_CIS_ManualDetect(int* value);
QEL_EXPORT int QEL_CALL QEL_Get_FPGA_Ver(int* value);

/* Output data format (0 colour, 1 raw), carried by device status item 2. */
QEL_EXPORT int QEL_CALL QEL_Set_DataFormat(int value);
QEL_EXPORT int QEL_CALL QEL_Get_DataFormat(int* value);

/* Table transfers between the caller's buffer and the unit's registers, high byte first.
   Defect pixel tables (table 1, anything else 0) move 128 bytes, gamma tables (1, 2, anything
   else 0) 8192 bytes. 1 at the first failed transfer; -1 for a null buffer. */
QEL_EXPORT int QEL_CALL QEL_Set_DP_Table(unsigned int table, const unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_Get_DP_Table(unsigned int table, unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_Set_Gamma_Table(int table, const unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_Get_Gamma_Table(int table, unsigned char* data);

/* Parameter sets in the unit EEPROM: the user set and the default set, one register set per
   head type in each. Save and clear: 0, 1 record header unreadable, 6 EEPROM not ready,
   7 write failed. Load: 0, 1 header unreadable, 2 no record, 3 wrong version, 4 bad header,
   6 no set for the attached head type, 5 record unreadable, or the number of register writes
   that failed. Clear mode 0 erases the record header only, any other mode the whole area. */
QEL_EXPORT int QEL_CALL QEL_Save_Param(int reserved);
QEL_EXPORT int QEL_CALL QEL_Load_Param(int reserved);
QEL_EXPORT int QEL_CALL QEL_Clear_Param(int mode);
QEL_EXPORT int QEL_CALL QEL_Save_Default_Param(int reserved);
QEL_EXPORT int QEL_CALL QEL_Load_Default_Param(int reserved);
QEL_EXPORT int QEL_CALL QEL_Clear_Default_Param(int mode);

/* Gamma tables (1, 2, anything else 0) kept in the unit EEPROM, 8192 bytes each.
   Save: 0, 6 EEPROM not ready, 7 write failed. Load: 0, 5 read failed. */
QEL_EXPORT int QEL_CALL QEL_Save_Gamma_Table(int table, const unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_Load_Gamma_Table(int table, unsigned char* data);

/* Records in the EEPROM of the CIS head. Check state: 0 no EEPROM, 1 not initialised,
   2 initialised (-2 when the status or EEPROM read failed). Init writes the header, and with
   headerOnly 0 every record in its blank form. Serial numbers are 14 bytes, not terminated
   when full. Defect pixel tables: save 6 not ready, 7 failed; load 5 failed. */
QEL_EXPORT int QEL_CALL QEL_Check_CIS_EEPROM(int* state);
QEL_EXPORT int QEL_CALL QEL_Init_CIS_EEPROM(int headerOnly);
QEL_EXPORT int QEL_CALL QEL_Save_CIS_SerialNo(const char* serialNo);
QEL_EXPORT int QEL_CALL QEL_Load_CIS_SerialNo(char* serialNo);
QEL_EXPORT int QEL_CALL QEL_Save_CIS_UseCount(int count);
QEL_EXPORT int QEL_CALL QEL_Load_CIS_UseCount(int* count);
QEL_EXPORT int QEL_CALL QEL_Save_CIS_UseCountLimit(int limit);
QEL_EXPORT int QEL_CALL QEL_Load_CIS_UseCountLimit(int* limit);
QEL_EXPORT int QEL_CALL QEL_Save_CIS_GainRB(int index, int gain); /* 0 red, 1 blue */
QEL_EXPORT int QEL_CALL QEL_Load_CIS_GainRB(int index, int* gain);
QEL_EXPORT int QEL_CALL QEL_Save_CIS_ImageFineAdj(int value);
QEL_EXPORT int QEL_CALL QEL_Load_CIS_ImageFineAdj(int* value);
QEL_EXPORT int QEL_CALL QEL_Save_CIS_DP_Table(unsigned int table, const unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_Load_CIS_DP_Table(unsigned int table, unsigned char* data);

/* Raw access: the unit's vendor requests by register number, EEPROM selector (0 unit,
   1 CIS head) and 20-bit address, or 7-bit I2C device address. Lengths are 0..65535 bytes;
   -1 for a length outside that or a null buffer with a non-zero length. QEL_EepromWrite does
   not wait for a previous write to finish: poll QEL_GetDevStatus first. */
QEL_EXPORT int QEL_CALL QEL_DeviceRead(int value, int reg, int length, unsigned char* buffer);
QEL_EXPORT int QEL_CALL QEL_DeviceWrite(int value, int reg, int length, const unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_EepromRead(int selector, unsigned int address, int length,
                                       unsigned char* buffer);
QEL_EXPORT int QEL_CALL QEL_EepromWrite(int selector, unsigned int address, int length,
                                        const unsigned char* data);
QEL_EXPORT int QEL_CALL QEL_I2CRead(int address, int length, unsigned char* buffer);
QEL_EXPORT int QEL_CALL QEL_I2CWrite(int address, int length, const unsigned char* data);

/* Device status: the 16-byte status record (byte 1 data format, bytes 3 and 4 unit and CIS
   EEPROM state: 0 ready, 1 busy, 2 error, 3 not present). QEL_GetFpgaStatus hands out, and
   clears, the 6-byte mask of registers 0x00..0x2F the unit changed since the previous call.
   QEL_SetDevStatus writes one 3-byte status item (0..7). */
QEL_EXPORT int QEL_CALL QEL_GetDevStatus(unsigned int size, unsigned char* buffer);
QEL_EXPORT int QEL_CALL QEL_GetFpgaStatus(unsigned int size, unsigned char* buffer);
QEL_EXPORT int QEL_CALL QEL_SetDevStatus(int item, const unsigned char* data);

#ifdef __cplusplus
}
#endif

#endif /* QEL_API_H */
