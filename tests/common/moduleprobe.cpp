// A module for the loader's test: one function.
#include <QtGlobal>

extern "C" Q_DECL_EXPORT int velmora_module_probe()
{
    return 42;
}
