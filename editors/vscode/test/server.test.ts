// The program the extension starts for each value of veltro.server.path.
import * as assert from 'assert';
import * as os from 'os';
import * as path from 'path';

import { serverCommand } from '../src/server';

assert.strictEqual(serverCommand(undefined), 'veltro-lsp');
assert.strictEqual(serverCommand('   '), 'veltro-lsp');
assert.strictEqual(serverCommand(' /opt/veltro/bin/veltro-lsp '), '/opt/veltro/bin/veltro-lsp');
assert.strictEqual(serverCommand('~/bin/veltro-lsp'), path.join(os.homedir(), 'bin', 'veltro-lsp'));
assert.strictEqual(serverCommand('bin/~/veltro-lsp'), 'bin/~/veltro-lsp');
console.log('server command: ok');
