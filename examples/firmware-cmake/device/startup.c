/*
 * The least a bare Cortex-M needs to run the example: the vector table, a reset handler that
 * sets up RAM and calls main, and an end for a fault. Output goes through semihosting (newlib's
 * librdimon), so putchar and exit reach the debugger, or QEMU with -semihosting.
 * device/mps2-an386.ld places this at the memory map of QEMU's mps2-an386 board.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* From the linker script. */
extern uint32_t __data_start__[], __data_end__[], __data_load__[], __bss_start__[], __bss_end__[];
extern uint32_t __stack_top__[];

extern int main(int argc, char** argv);
extern void initialise_monitor_handles(void);

void reset_handler(void);
void fault_handler(void);
/* C has no constructors or destructors to run; newlib's exit still calls these. */
void _init(void);
void _fini(void);
void _init(void) {}
void _fini(void) {}

void reset_handler(void) {
    static char name[] = "firmware";
    static char* argv[] = {name, NULL};
    memcpy(__data_start__, __data_load__,
           (size_t)((uintptr_t)__data_end__ - (uintptr_t)__data_start__));
    memset(__bss_start__, 0, (size_t)((uintptr_t)__bss_end__ - (uintptr_t)__bss_start__));
    initialise_monitor_handles();
    exit(main(1, argv));
}

/* A fault ends the run with a failure rather than hanging the simulator. */
void fault_handler(void) {
    exit(99);
}

/* Initial stack pointer, reset, NMI, HardFault, then the configurable faults of the M3/M4. */
typedef void (*vector)(void);
__attribute__((section(".vectors"), used)) static const vector vectors[7] = {
    (vector)(uintptr_t)__stack_top__,
    reset_handler,
    fault_handler,
    fault_handler,
    fault_handler,
    fault_handler,
    fault_handler};
