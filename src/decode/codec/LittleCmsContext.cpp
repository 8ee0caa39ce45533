#include "decode/codec/LittleCmsContext.h"

#include "decode/codec/MatrixShaperRows.h"

namespace orlix {

cmsContext littleCmsContext() {
    static const cmsContext context = [] {
        cmsContext created = cmsCreateContext(nullptr, nullptr);
        cmsSetLogErrorHandlerTHR(created, [](cmsContext, cmsUInt32Number, const char*) {});
        // Without the plugin every link takes Little CMS's own path: slower, the same pixels.
        cmsPluginTHR(created, &MatrixShaperRows::plugin());
        return created;
    }();
    return context;
}

} // namespace orlix
