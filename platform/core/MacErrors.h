/*
 * Result codes of the platform. 0 (noErr) is success; every other value is
 * negative unless a manager says otherwise.
 */
#ifndef PLATFORM_CORE_MACERRORS_H
#define PLATFORM_CORE_MACERRORS_H

#include "platform/core/MacTypes.h"

/* In C++ the codes are typed OSErr constants, so that they mix with OSErr
 * values in expressions without enum conversions; in C they are enumerators. */
#ifdef __cplusplus
#define QL_ERR(name, value) inline constexpr OSErr name = value;
#else
#define QL_ERR(name, value) enum { name = value };
#endif

/* General */
QL_ERR(paramErr, -50)
QL_ERR(unimpErr, -4)
QL_ERR(userCanceledErr, -128)

/* File Manager */
QL_ERR(dirFulErr, -33)
QL_ERR(dskFulErr, -34)
QL_ERR(nsvErr, -35)
QL_ERR(ioErr, -36)
QL_ERR(bdNamErr, -37)
QL_ERR(fnOpnErr, -38)
QL_ERR(eofErr, -39)
QL_ERR(posErr, -40)
QL_ERR(mFulErr, -41)
QL_ERR(tmfoErr, -42)
QL_ERR(fnfErr, -43)
QL_ERR(wPrErr, -44)
QL_ERR(fLckdErr, -45)
QL_ERR(vLckdErr, -46)
QL_ERR(fBsyErr, -47)
QL_ERR(dupFNErr, -48)
QL_ERR(opWrErr, -49)
QL_ERR(rfNumErr, -51)
QL_ERR(rnfErr, -51)
QL_ERR(volOffLinErr, -53)
QL_ERR(permErr, -54)
QL_ERR(wrPermErr, -61)
QL_ERR(dirNFErr, -120)
QL_ERR(tmwdoErr, -121)
QL_ERR(badMovErr, -122)
QL_ERR(wrgVolTypErr, -123)
QL_ERR(volGoneErr, -124)
QL_ERR(fidNotFound, -1300)
QL_ERR(fidExists, -1301)
QL_ERR(notAFileErr, -1302)
QL_ERR(errFSBadFSRef, -1401)
QL_ERR(errFSBadForkName, -1402)
QL_ERR(errFSBadBuffer, -1403)
QL_ERR(errFSBadForkRef, -1404)
QL_ERR(errFSBadInfoBitmap, -1405)
QL_ERR(errFSMissingCatInfo, -1406)
QL_ERR(errFSNotAFolder, -1407)
QL_ERR(errFSForkNotFound, -1409)
QL_ERR(errFSNameTooLong, -1410)
QL_ERR(errFSMissingName, -1411)
QL_ERR(errFSBadPosMode, -1412)
QL_ERR(errFSBadAllocFlags, -1413)
QL_ERR(errFSNoMoreItems, -1417)
QL_ERR(errFSBadItemCount, -1418)
QL_ERR(errFSBadSearchParams, -1419)
QL_ERR(errFSRefsDifferent, -1420)
QL_ERR(errFSForkExists, -1421)
QL_ERR(errFSBadIteratorFlags, -1422)
QL_ERR(errFSIteratorNotFound, -1423)
QL_ERR(errFSIteratorNotSupported, -1424)
QL_ERR(afpAccessDenied, -5000)
QL_ERR(afpObjectTypeErr, -5025)

/* Memory Manager */
QL_ERR(memROZErr, -99)
QL_ERR(memFullErr, -108)
QL_ERR(nilHandleErr, -109)
QL_ERR(memWZErr, -111)
QL_ERR(memPurErr, -112)
QL_ERR(memAdrErr, -110)
QL_ERR(memAZErr, -113)
QL_ERR(memPCErr, -114)
QL_ERR(memBCErr, -115)
QL_ERR(memSCErr, -116)
QL_ERR(memLockedErr, -117)

/* Resource Manager */
QL_ERR(resNotFound, -192)
QL_ERR(resFNotFound, -193)
QL_ERR(addResFailed, -194)
QL_ERR(rmvResFailed, -196)
QL_ERR(resAttrErr, -198)
QL_ERR(mapReadErr, -199)

/* Process Manager */
QL_ERR(procNotFound, -600)
QL_ERR(memFragErr, -601)
QL_ERR(appModeErr, -602)
QL_ERR(protocolErr, -603)
QL_ERR(hardwareConfigErr, -604)
QL_ERR(appMemFullErr, -605)
QL_ERR(appIsDaemon, -606)

/* Gestalt */
QL_ERR(gestaltUnknownErr, -5550)
QL_ERR(gestaltUndefSelectorErr, -5551)
QL_ERR(gestaltDupSelectorErr, -5552)
QL_ERR(gestaltLocationErr, -5553)

/* Apple Event Manager */
QL_ERR(errAECoercionFail, -1700)
QL_ERR(errAEDescNotFound, -1701)
QL_ERR(errAECorruptData, -1702)
QL_ERR(errAEWrongDataType, -1703)
QL_ERR(errAENotAEDesc, -1704)
QL_ERR(errAEBadListItem, -1705)
QL_ERR(errAENewerVersion, -1706)
QL_ERR(errAENotAppleEvent, -1707)
QL_ERR(errAEEventNotHandled, -1708)
QL_ERR(errAEReplyNotValid, -1709)
QL_ERR(errAEUnknownSendMode, -1710)
QL_ERR(errAEWaitCanceled, -1711)
QL_ERR(errAETimeout, -1712)
QL_ERR(errAENoUserInteraction, -1713)
QL_ERR(errAENotASpecialFunction, -1714)
QL_ERR(errAEParamMissed, -1715)
QL_ERR(errAEUnknownAddressType, -1716)
QL_ERR(errAEHandlerNotFound, -1717)
QL_ERR(errAEReplyNotArrived, -1718)
QL_ERR(errAEIllegalIndex, -1719)
QL_ERR(connectionInvalid, -609)
QL_ERR(noPortErr, -903)


/* Text Encoding Converter */
QL_ERR(kTextUnsupportedEncodingErr, -8738)
QL_ERR(kTextMalformedInputErr, -8739)
QL_ERR(kTextUndefinedElementErr, -8740)
QL_ERR(kTECMissingTableErr, -8745)
QL_ERR(kTECTableChecksumErr, -8746)
QL_ERR(kTECTableFormatErr, -8747)
QL_ERR(kTECCorruptConverterErr, -8748)
QL_ERR(kTECNoConversionPathErr, -8749)
QL_ERR(kTECBufferBelowMinimumSizeErr, -8750)
QL_ERR(kTECArrayFullErr, -8751)
QL_ERR(kTECPartialCharErr, -8753)
QL_ERR(kTECUnmappableElementErr, -8754)
QL_ERR(kTECIncompleteElementErr, -8755)
QL_ERR(kTECDirectionErr, -8756)
QL_ERR(kTECOutputBufferFullStatus, -8785)

/* Miscellaneous */
QL_ERR(featureUnsupported, -2053)
QL_ERR(coreFoundationUnknownErr, -4960)
QL_ERR(kMPInsufficientResourcesErr, -29294)

#endif
