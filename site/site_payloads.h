#pragma once

#include "publish/payloads.h"
#include "publish/remote_ack.h"
#include "publish/topics.h"

// What the station PCs publish, read back by the site view with the publisher's own readers.
namespace site {

using publish::ackJson;
using publish::readAlarms;
using publish::readOnline;
using publish::readState;
using publish::readTopic;
using publish::StationAlarms;
using publish::StationState;
using publish::Topic;
using publish::Value;

} // namespace site
