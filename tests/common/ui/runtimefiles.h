#pragma once

// The shipped config.xml, upgrade.conf and app.ini beside the test binary, where the program
// finds them beside itself.
void StageRuntimeFiles();
