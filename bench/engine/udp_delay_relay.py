#!/usr/bin/env python3
"""A UDP relay that holds every datagram for a while before passing it on, each way, as a link
with latency would (the kernel here has no netem). Prints its port on the first line.

usage: udp_delay_relay.py AGENT_PORT DELAY_MS
"""
import asyncio
import socket
import sys


async def main() -> None:
    agent = ("127.0.0.1", int(sys.argv[1]))
    delay = float(sys.argv[2]) / 1000.0
    loop = asyncio.get_running_loop()
    front = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    front.bind(("127.0.0.1", 0))
    front.setblocking(False)
    print(front.getsockname()[1], flush=True)
    backs = {}  # manager address -> the relay's socket towards the agent for it

    def to_manager(back: socket.socket, manager) -> None:
        try:
            data = back.recv(65535)
        except BlockingIOError:
            return
        loop.call_later(delay, front.sendto, data, manager)

    def from_manager() -> None:
        while True:
            try:
                data, manager = front.recvfrom(65535)
            except BlockingIOError:
                return
            back = backs.get(manager)
            if back is None:
                back = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                back.bind(("127.0.0.1", 0))
                back.setblocking(False)
                loop.add_reader(back, to_manager, back, manager)
                backs[manager] = back
            loop.call_later(delay, back.sendto, data, agent)

    loop.add_reader(front, from_manager)
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
