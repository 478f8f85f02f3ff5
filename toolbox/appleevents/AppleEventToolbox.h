/*
 * Apple-event, menu and launch services: the n-th item of a descriptor list
 * as a file reference, contextual-menu command records, and opening
 * documents with an application (launching it, or sending an open-documents
 * event to its running process).
 *
 *     // Open two documents with an application, bringing it to the front.
 *     FSSpec docs[2] = {...};
 *     OSErr err = SimpleLaunchApplicationWithDocuments(&app, docs, 2, true);
 *
 * Every function releases what it made (descriptors, handles, aliases,
 * copies) before it returns and writes its outputs only on success, except
 * AEGetNthFSSpec, whose output is written in every case.
 */
#ifndef TOOLBOX_APPLEEVENTS_APPLEEVENTTOOLBOX_H
#define TOOLBOX_APPLEEVENTS_APPLEEVENTTOOLBOX_H

#include "platform/appleevents/AppleEvents.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "platform/files/Files.h"
#include "platform/processes/Processes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* Item index (1-based) of the list coerced to an FSSpec (at most 70
 * bytes). *spec is written in every case; after a failure its content is
 * meaningless. Returns AEGetNthPtr's result. */
QL_EXPORT OSErr AEGetNthFSSpec(const AEDescList *list, SInt32 index, FSSpec *spec) QL_NOEXCEPT;
/* Item index of the list coerced to an alias record and resolved. paramErr
 * for a null list or ref; else the first failing step's error (an index past
 * the end, an item that is no file, a missing target). *ref is written only
 * on success. */
QL_EXPORT OSErr AEGetNthFSRef(const AEDescList *list, SInt32 index, FSRef *ref) QL_NOEXCEPT;
/* A new, unlocked handle holding a copy of the descriptor's data (the
 * caller disposes of it). memFullErr when it cannot be made. */
QL_EXPORT OSErr AEGetDescDataHandle(const AEDesc *desc, Handle *data) QL_NOEXCEPT;

/* Appends a command record {keyAEName: the text, keyContextualMenuCommandID:
 * the ID} to the command list. */
QL_EXPORT OSErr AddContextualMenuCommand(ConstStr255Param text, SInt32 commandID,
                                         AEDescList *commandList) QL_NOEXCEPT;
/* The same with the text as UTF-16 ('utxt'). memFullErr when the characters
 * cannot be copied. */
QL_EXPORT OSErr AddContextualMenuCommandCFString(CFStringRef text, SInt32 commandID,
                                                 AEDescList *commandList) QL_NOEXCEPT;
/* Appends a submenu record {keyAEName: title, keyContextualMenuSubmenu: a
 * copy of the submenu list}, or a plain command record with commandID when
 * the submenu list is empty. */
QL_EXPORT OSErr AddContextualMenuHierarchicalCommandList(ConstStr255Param title, SInt32 commandID,
                                                         const AEDescList *submenu,
                                                         AEDescList *commandList) QL_NOEXCEPT;

/* Launches the application without documents; LaunchApplication's result. */
QL_EXPORT OSErr SimpleLaunchApplication(const FSSpec *application, Boolean bringToFront) QL_NOEXCEPT;
/* Opens count documents (consecutive FSSpecs) with the application: a
 * running process of the application gets an open-documents event (and is
 * brought to the front when asked); otherwise the application is launched
 * with the event in its launch parameters. paramErr for a null application
 * or documents or a count of 0; fnfErr for a folder as application. An
 * application whose type or creator is 0 or '????' is matched to a running
 * process by its application file, never by those codes. */
QL_EXPORT OSErr SimpleLaunchApplicationWithDocuments(const FSSpec *application, const FSSpec *documents,
                                                     UInt32 count, Boolean bringToFront) QL_NOEXCEPT;
/* Sends an open-documents event for the documents to the process (no
 * reply). paramErr for null or zero arguments; else the event-building or
 * AESend error. */
QL_EXPORT OSErr OpenDocumentsWithRunningApplication(const ProcessSerialNumber *process,
                                                    const FSSpec *documents, UInt32 count) QL_NOEXCEPT;
/* Builds 'aevt'/'odoc' addressed to the process, its direct object a list
 * of alias descriptors, one per document in order. The caller disposes of
 * *event. */
QL_EXPORT OSErr BuildOpenDocumentEvent(const ProcessSerialNumber *process, const FSSpec *documents,
                                       UInt32 count, AppleEvent *event) QL_NOEXCEPT;
/* The first running process whose type and creator match (0: any).
 * procNotFound when none; *process (may be null) written on a match. */
QL_EXPORT OSErr FindTypeCreatorProcess(OSType fileType, OSType creator, ProcessSerialNumber *process) QL_NOEXCEPT;
/* A constant UUID (never to be released) from its text form, or NULL when
 * the text does not parse. */
QL_EXPORT CFUUIDRef CFUUIDGetConstantUUIDWithString(CFAllocatorRef allocator, CFStringRef text) QL_NOEXCEPT;

QL_END_DECLS

#endif
