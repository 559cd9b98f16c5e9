#pragma once

// Registers the pictures under ":/img" (app.ico, closehover.png, min.png,
// downarrow.png); a static library's resources need it before first use.
void initQuilletResources();
