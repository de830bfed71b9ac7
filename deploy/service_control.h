#pragma once

// Control of the product's shared-host service "PeloraService".

// Stops the service. True when it is stopped 500 ms after the request or was not running; false
// when it does not exist, cannot be opened, refuses the request or still runs after the pause.
bool StopService();
