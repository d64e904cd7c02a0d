// Test-only controls of the Ne10 stand-in: failures and states the real
// library can be in but that tests cannot otherwise bring about.
#pragma once

// The next ne10_init reports NE10_ERR and changes no dispatch pointer.
void ne10_standin_fail_next_init();
// Points every dispatch entry back at its trap, as before the first
// ne10_init of the process.
void ne10_standin_reset_dispatch();
