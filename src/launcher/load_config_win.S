// The load configuration directory of every Windows program we build: where Windows' loader
// finds the stack guard to seed and the Control Flow Guard tables and function pointers. MinGW-w64
// 10's runtime has none, and lld only fills in the symbols the structure names (it checks them,
// and the link treats a mismatch as an error), so the structure is written out here, field by
// field, as IMAGE_LOAD_CONFIG_DIRECTORY64 of the Windows 11 SDK has it.

    .section .rdata,"dr"
    .p2align 3
    .globl _load_config_used
_load_config_used:
    .long   320                          // Size: the whole structure
    .long   0                            // TimeDateStamp
    .short  0, 0                         // MajorVersion, MinorVersion
    .long   0, 0, 0                      // GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout
    .quad   0, 0, 0, 0, 0, 0             // DeCommit..., LockPrefixTable, MaximumAllocationSize, VirtualMemoryThreshold, ProcessAffinityMask
    .long   0                            // ProcessHeapFlags
    .short  0, 0                         // CSDVersion, DependentLoadFlags
    .quad   0                            // EditList
    .quad   __stack_chk_guard            // SecurityCookie: the guard -fstack-protector-strong checks
    .quad   0, 0                         // SEHandlerTable, SEHandlerCount: 32-bit only
    .quad   __guard_check_icall_fptr     // GuardCFCheckFunctionPointer
    .quad   __guard_dispatch_icall_fptr  // GuardCFDispatchFunctionPointer
    .quad   __guard_fids_table           // GuardCFFunctionTable
    .quad   __guard_fids_count           // GuardCFFunctionCount
    .long   __guard_flags                // GuardFlags: a 32-bit field, from lld's absolute symbol
    .short  0, 0                         // CodeIntegrity.Flags, .Catalog
    .long   0, 0                         // CodeIntegrity.CatalogOffset, .Reserved
    .quad   __guard_iat_table            // GuardAddressTakenIatEntryTable
    .quad   __guard_iat_count            // GuardAddressTakenIatEntryCount
    .quad   __guard_longjmp_table        // GuardLongJumpTargetTable
    .quad   __guard_longjmp_count        // GuardLongJumpTargetCount
    .quad   0, 0                         // DynamicValueRelocTable, CHPEMetadataPointer
    .quad   0, 0                         // GuardRFFailureRoutine, GuardRFFailureRoutineFunctionPointer
    .long   0                            // DynamicValueRelocTableOffset
    .short  0, 0                         // DynamicValueRelocTableSection, Reserved2
    .quad   0                            // GuardRFVerifyStackPointerFunctionPointer
    .long   0, 0                         // HotPatchTableOffset, Reserved3
    .quad   0, 0                         // EnclaveConfigurationPointer, VolatileMetadataPointer
    .quad   __guard_eh_cont_table        // GuardEHContinuationTable
    .quad   __guard_eh_cont_count        // GuardEHContinuationCount
    .quad   0, 0, 0                      // GuardXFGCheck/Dispatch/TableDispatchFunctionPointer
    .quad   0                            // CastGuardOsDeterminedFailureMode
    .quad   0                            // GuardMemcpyFunctionPointer

// The pointers that instrumented code calls through. Windows' loader replaces them with its own
// checks when it enables Control Flow Guard; until then, and where it never does (Wine), the check
// lets every target pass and the dispatch calls it.
    .section .00cfg,"dr"
    .p2align 3
    .globl __guard_check_icall_fptr
__guard_check_icall_fptr:
    .quad   ltf_guard_check_nothing
    .globl __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
    .quad   ltf_guard_dispatch_unchecked

    .text
    .p2align 4
// The target to check comes in rcx.
ltf_guard_check_nothing:
    ret
    .p2align 4
// The target comes in rax, the call's own arguments in their registers and on the stack.
ltf_guard_dispatch_unchecked:
    jmp     *%rax
