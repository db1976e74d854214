/* The unit's parameter registers as one list: the library's parameter table and exported
   QEL_Set_/QEL_Get_ functions and the programs' tables of those functions are all built from it.
   Plain data only; a program includes it to know the shapes of the functions it calls. */
#ifndef QEL_PARAMETER_LIST_H
#define QEL_PARAMETER_LIST_H

/* One entry per parameter, in the library's order:
     X(name, register, packing, count, access, shadowed, rawRead)
   name      the suffix of QEL_Set_<name> / QEL_Get_<name>
   register  bank 0 number of index 0; index i uses register + i. Registers below 0x30 are
             banked: a 160K head uses register + 0x80 (the library reads the head type first).
   packing   how the value lies in the 16-bit register:
               Plain            the whole word, 0..65535
               SignMagnitude    high byte 1 for negative, low byte the magnitude, -255..255
               TwosComplement9  bit 8 in the high byte, bits 7..0 in the low byte, -256..255
               NibbleL0, NibbleL1, NibbleH0, NibbleH1
                                a 4-bit field of a shared register, 0..15: low byte bits 3..0,
                                low byte bits 7..4, high byte bits 3..0, high byte bits 7..4
   count     1 for a scalar parameter (QEL_Set_<name>(value)), else the number of indices
             (QEL_Set_<name>(index, value))
   access    ReadWrite, or ReadOnly (no QEL_Set_<name>)
   shadowed  copied into the parameter shadow after every successful transfer (true/false)
   rawRead   the getter reads through QEL_DeviceRead (true/false) */
#define QEL_PARAMETER_LIST(X)                                         \
  X(ControlMode, 0x00, Plain, 2, ReadWrite, true, false)              \
  X(BlackLevel, 0x02, Plain, 1, ReadWrite, true, false)               \
  X(ExposureTime, 0x03, Plain, 1, ReadWrite, true, false)             \
  X(RawGain, 0x04, Plain, 1, ReadWrite, true, false)                  \
  X(AGC_AEC_Target, 0x05, Plain, 1, ReadWrite, true, false)           \
  X(Hysteresis, 0x06, Plain, 4, ReadWrite, true, true)                \
  X(ControlSpeed, 0x0A, Plain, 1, ReadWrite, true, false)             \
  X(ControlMonitor, 0x0B, Plain, 2, ReadWrite, true, false)           \
  X(MinLightLevel, 0x0D, Plain, 1, ReadWrite, true, false)            \
  X(ALC_Param, 0x0E, Plain, 1, ReadWrite, true, false)                \
  X(LightLevel, 0x0F, Plain, 1, ReadWrite, true, false)               \
  X(AWB, 0x10, Plain, 1, ReadWrite, false, false)                     \
  X(GainRB, 0x11, SignMagnitude, 2, ReadWrite, true, false)           \
  X(ColorMatrix, 0x13, TwosComplement9, 9, ReadWrite, true, true)     \
  X(GainYC, 0x1C, SignMagnitude, 3, ReadWrite, true, false)           \
  X(ALC_Target, 0x1F, Plain, 1, ReadWrite, true, false)               \
  X(Gamma, 0x20, NibbleL0, 1, ReadWrite, true, false)                 \
  X(ImageFlip, 0x20, NibbleL1, 1, ReadWrite, true, false)             \
  X(ImageRotation, 0x20, NibbleH0, 1, ReadWrite, true, false)         \
  X(DVI_ImageSize, 0x20, NibbleH1, 1, ReadWrite, true, false)         \
  X(NoiseReduction, 0x21, NibbleL0, 1, ReadWrite, true, false)        \
  X(EdgeEnhancement, 0x21, NibbleL1, 1, ReadWrite, true, false)       \
  X(VFPN_Corr, 0x21, NibbleH0, 1, ReadWrite, true, false)             \
  X(DVI_Resolution, 0x21, NibbleH1, 1, ReadWrite, true, false)        \
  X(CIS_ImageFineAdj, 0x22, NibbleL0, 1, ReadWrite, true, false)      \
  X(DP_Corr, 0x23, NibbleL0, 1, ReadWrite, false, false)              \
  X(FPN_Corr, 0x23, NibbleL1, 1, ReadWrite, false, false)             \
  X(FPN_Data_Acquisition, 0x23, NibbleH0, 1, ReadWrite, false, false) \
  X(CIS_VoutCurrent, 0x24, NibbleL0, 1, ReadWrite, true, false)       \
  X(CIS_Connect, 0xF0, Plain, 1, ReadOnly, false, false)              \
  X(CIS_LimitFlag, 0xF1, Plain, 1, ReadWrite, false, false)           \
  X(CIS_Type, 0xF4, Plain, 1, ReadOnly, false, false)                 \
  X(CIS_ConnectionDet, 0xF6, Plain, 1, ReadWrite, true, false)        \
  X(CIS_OverCurrentDet, 0xF7, Plain, 1, ReadWrite, true, false)       \
  X(CIS_ManualDetect, 0xF8, Plain, 1, ReadWrite, false, false)        \
  X(FPGA_Ver, 0xFF, Plain, 1, ReadOnly, false, false)

/* QEL_PARAMETER_SHAPE(count) is Scalar for a count of 1 and Indexed for any other count, so a
   user of the list can paste it into a macro name to pick the function signature. */
#define QEL_PARAMETER_SHAPE(count) QEL_PARAMETER_EXPAND(QEL_PARAMETER_PROBE_##count, Indexed, ~)
#define QEL_PARAMETER_PROBE_1 ~, Scalar
/* The extra level expands the probe, so a count of 1 adds an argument before Indexed. */
#define QEL_PARAMETER_EXPAND(...) QEL_PARAMETER_PICK(__VA_ARGS__)
#define QEL_PARAMETER_PICK(a, b, ...) b

#endif /* QEL_PARAMETER_LIST_H */
