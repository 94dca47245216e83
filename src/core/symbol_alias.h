// Symbols that name an address the compiler has no syntax for: an exported virtual table must point at slot 0,
// two pointers into GCC's vtable object (offset-to-top and the type information word come first), and a member
// that serves another class's ordinal as one body needs that class's name too. Both are defined with top-level
// assembly, so the names must be spelled as the assembler sees them: 32-bit Windows symbols carry a leading
// underscore, 64-bit ones do not.
#pragma once

#if defined(__i386__)
#define KX_ASM_NAME(name) "_" #name
#define KX_VTABLE_ADDRESS_POINT "+8"
#else
#define KX_ASM_NAME(name) #name
#define KX_VTABLE_ADDRESS_POINT "+16"
#endif

// Defines the C symbol kx_vtable_<cls> at slot 0 of cls's virtual table. Use it in the file that defines cls's
// first virtual member, where GCC emits the table. `mangled` is the table's symbol, _ZTV<length><name>.
#define KX_EXPORT_VTABLE(cls, mangled)                                                                  \
    asm(".globl " KX_ASM_NAME(kx_vtable_##cls) "\n\t.set " KX_ASM_NAME(kx_vtable_##cls) ", " KX_ASM_NAME( \
        mangled) KX_VTABLE_ADDRESS_POINT)

// Makes `alias` (a mangled member name that the class declares but never defines) another name of `target`.
// Only for members whose argument lists take the same stack space: a __thiscall callee removes its own
// arguments, so a body shared across different lists would corrupt its callers' stacks.
#define KX_SAME_BODY(alias, target) \
    asm(".globl " KX_ASM_NAME(alias) "\n\t.set " KX_ASM_NAME(alias) ", " KX_ASM_NAME(target))
