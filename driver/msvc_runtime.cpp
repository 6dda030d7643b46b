// The few symbols an MSVC-ABI module expects from a CRT it does not have here.

// The compiler references this as soon as floating point appears.
extern "C" int _fltused = 0;

// Every RTTI type descriptor points at type_info's vftable; a host's dynamic_cast
// compares type names and never calls through it, so only its address matters.
extern "C" const void* const g_typeInfoVftable[1] __asm__("??_7type_info@@6B@") = {nullptr};
