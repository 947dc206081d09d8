// Loaded by a dynamic import() the first time the client answers.
import { byId } from './dom.js';

export function showAnswer(text) {
  byId('answer').textContent = text;
  console.log('answer shown: ' + text);
}
