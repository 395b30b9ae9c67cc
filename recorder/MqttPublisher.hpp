// The publisher on a real broker, through libmosquitto.
#pragma once

#include <memory>

#include "Publish.hpp"

namespace qv58163::recorder {

// A publisher to the broker `options` names; the password, if any, is QV58163_MQTT_PASSWORD's.
std::unique_ptr<Publisher> makeMqttPublisher(const PublishOptions &options);

}  // namespace qv58163::recorder
