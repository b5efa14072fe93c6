// Drives the sandbox server with the npm client rcon-srcds: logs in, runs each command line given, prints JSON.
const Rcon = require('rcon-srcds').default;

async function main() {
  const [port, password, ...lines] = process.argv.slice(2);
  const client = new Rcon({ host: '127.0.0.1', port: Number(port), encoding: 'utf8', timeout: 5000 });
  const result = { authenticated: false, replies: [] };
  try {
    await client.authenticate(password);
    result.authenticated = true;
    for (const line of lines) {
      result.replies.push(await client.execute(line));
      // The client probes the end of long replies with packets of its own; let their answers drain.
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  } catch (error) {
    result.error = String(error && error.message ? error.message : error);
  }
  try { await client.disconnect(); } catch (_) { /* already closed */ }
  process.stdout.write(JSON.stringify(result));
}

main();
