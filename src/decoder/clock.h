// Clock setting: sets the local clock to a decoded minute and reloads the fields from it.
#pragma once

// Sets the local clock to TimeFields with seconds 0, then reloads TimeFields from the
// clock. A refused set is not reported: the fields then show the clock's own time.
void SetClockFromTelegram();
