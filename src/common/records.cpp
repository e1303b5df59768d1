#include "common/clock_steering.h"
#include "common/decoded_minute.h"
#include "common/port_handle.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "common/window_geometry.h"

TimeFieldsRecord TimeFields = {};
ReceiverStateRecord ReceiverState = {};
WindowGeometryRecord WindowGeometry = {};
HeldMinutesRecord HeldMinutes = {};
SteeringRecord Steering = {};
uint16_t PortHandle = kNoPort;
