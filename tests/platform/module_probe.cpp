// A tiny shared library for the module-loading tests: one export and a
// counter that tells whether the library stayed loaded.
extern "C" __attribute__((visibility("default"))) int vx_module_probe_answer()
{
    static int calls = 0;
    return 42 + 1000 * calls++;
}
