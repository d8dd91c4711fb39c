// A library header, named without its folder by its users.
#pragma once
