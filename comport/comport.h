// Serial port access and the Modbus RTU register read transaction on the one open port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "define/system_failure.h"

// Empties the list and appends the name of every serial port present, as the system names
// them (ttyUSB0, ttyACM0, ttyS0 only when a UART answers), sorted as text.
void com_port_list(std::vector<std::string>& list);
// Opens a port by name (as listed) or by full device path, exclusively, 8N1 at the given baud,
// both queues discarded, RTS cleared and DTR set. False leaves no port open.
bool com_open(const std::string& name, int baud);
// Closes the open port.
void com_close();
// The last system call on a serial port that failed, for a log.
SystemFailure com_last_failure();

// CRC-16/MODBUS: generator 0xA001, initial 0xFFFF; its low byte travels first.
std::uint16_t modbus_crc16(const std::uint8_t* data, std::uint16_t length);
// Function 3, Read Holding Registers, on the open port: one request, one read of
// 2*count + 5 bytes. True when the whole reply arrived and its CRC matched; destination then
// holds the 2*count register bytes unchanged (high byte first). On false it is unchanged.
bool modbus_read_holding(std::uint8_t address, std::uint16_t first, std::uint16_t count,
                         std::uint8_t* destination);
