// The console page: the sandbox's four views, or a live server's three, as the server that serves it says.
import { startLive } from './live.js';
import { startSandbox } from './sandbox.js';

(window.consoleMode === 'live' ? startLive : startSandbox)();
