// Validates a CycloneDX 1.5 JSON document against the schema with the library's strict validator:
// exits 0 when it is valid, 1 with the schema's findings when it is not.
//   NODE_PATH=build/tools/node_modules node validate_sbom.cjs FILE
const { Spec, Validation } = require('@cyclonedx/cyclonedx-library');
const fs = require('fs');

new Validation.JsonStrictValidator(Spec.Version.v1dot5)
  .validate(fs.readFileSync(process.argv[2], 'utf8'))
  .then((findings) => {
    if (findings) {
      console.log(JSON.stringify(findings, null, 2));
      process.exit(1);
    }
  })
  .catch((error) => {
    console.error(error);
    process.exit(2);
  });
