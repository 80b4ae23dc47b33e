// Which program the extension starts: kept apart from the editor's API so
// that it can be tested under plain node.
import * as os from 'os';
import * as path from 'path';

export const defaultServer = 'veltro-lsp';

// The command for the `veltro.server.path` setting: empty means the program
// found on the PATH; a leading `~/` is the home folder.
export function serverCommand(setting: string | undefined): string {
  const configured = (setting ?? '').trim();
  if (configured === '') return defaultServer;
  if (configured === '~' || configured.startsWith('~/')) return path.join(os.homedir(), configured.slice(1));
  return configured;
}
