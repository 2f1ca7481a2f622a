// The demo drive: a scripted drive through the sample game folder that prints
// what a player would see and hear.
#pragma once

int PlayDemo();
void ShowDemoResult();
