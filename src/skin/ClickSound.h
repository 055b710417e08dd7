// The click of buttons and menu rows (WAVE 141), played without waiting.
#pragma once

void PlayClickSound();
