// Telegram decoding: checks the minute in FrameBits and stores its fields in TimeFields.
#pragma once

// True when every check passed and all six fields were stored. Each field is stored as
// soon as its own check passes, so a false result may leave earlier fields changed.
bool DecodeTelegram();
