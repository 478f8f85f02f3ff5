/*
 * The Quillomat contextual-menu plug-in: the factory a host calls to make
 * the plug-in object, the object's interface table, and the listing of the
 * "Encoders" folder that the last examination made.
 *
 * A host loads the bundle, asks the factory for the contextual-menu type
 * and talks to the object through gTestInterfaceFunctionTable: ExamineContext
 * adds a "Quillomat" submenu listing the files of the user's
 * Scripts/Encoders folder tree when the context holds a file;
 * HandleSelection opens every selected file with the chosen entry;
 * PostMenuCleanup drops the listing.
 */
#ifndef PLUGIN_QUILLOMATPLUGIN_H
#define PLUGIN_QUILLOMATPLUGIN_H

#include "platform/contextmenu/ContextualMenuPlugins.h"
#include "toolbox/common/Export.h"

/* The bundle's own identifier and the plug-in's factory UUID. */
#define QUILLOMAT_BUNDLE_IDENTIFIER "net.quillomat.Quillomat"
#define QUILLOMAT_FACTORY_UUID "C8E1A5B2-6F3D-4E27-9A41-7D5B2C9E0F13"

QL_BEGIN_DECLS

/* Makes a plug-in object for the contextual-menu type (NULL for any other
 * type or when the object cannot be made). The allocator is not used. The
 * object starts with one reference; the host releases it through the table. */
QL_EXPORT void *PlugInFactory(CFAllocatorRef allocator, CFUUIDRef typeID) QL_NOEXCEPT;

/* The interface table shared by all plug-in objects. */
QL_EXPORT extern ContextualMenuInterfaceStruct gTestInterfaceFunctionTable;

/* The listing of the "Encoders" tree made by the last examination:
 * consecutive 80-byte FSRefs; an entry's command ID is its index. NULL when
 * nothing is held. */
QL_EXPORT extern Handle gAppFSRefsHandle;

QL_END_DECLS

#endif
